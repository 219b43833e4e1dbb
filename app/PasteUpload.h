#pragma once

#include "core/Languages.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QCheckBox;
class QPlainTextEdit;

namespace ferrodock {

// A check box state as the service reads it: "1" ticked, "0" not, "-1" mixed.
QString flagValue(const QCheckBox* box);

// Reads the whole text of the paste text view as typed, in UTF-8, with line and paragraph
// breaks as "\n", and gives it to `done`. A long text is read a slice at a time between
// events, the view read-only meanwhile; the read starts over if the text is changed, and
// stops, giving nothing, if the window is closed. False, doing nothing, while a read of the
// same view is under way.
bool readPasteText(QPlainTextEdit* view, std::function<void(QByteArray)> done);

}  // namespace ferrodock
