#pragma once

// Text from outside (the service's answers and headers, file names, what a person typed) as it
// may reach a terminal or a log: nothing in it can move the cursor, retitle or colour the
// terminal, start a new line or turn the rest of the line around.

#include <QString>
#include <QStringView>

namespace ferrodock {

// `text` with every C0 and C1 control and DEL written as \xNN, and the line and paragraph
// separators and the bidirectional overrides and isolates as \uNNNN; the rest unchanged.
QString printable(QStringView text);

// Installs a message handler, in front of the current one, that passes every log message
// through printable(): the transport's log lines quote what the service sent. Called once, or
// again after the handler was replaced.
void installPrintableMessages();

}  // namespace ferrodock
