#pragma once

#include <QStringList>

#include <functional>

class QWidget;

namespace ferrodock {

// Lets files be dropped on `view`. Each dropped local file (folders are refused), in the order
// given, is handed to `onFile`, so when several are dropped the last one counts, as with a
// chooser that returns several. `types` limits the accepted extensions (case-insensitive);
// empty accepts every file. A drop that holds no acceptable file is refused.
void acceptFileDrops(QWidget* view, const QStringList& types,
                     std::function<void(const QString& path)> onFile);

}  // namespace ferrodock
