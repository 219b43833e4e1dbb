#pragma once

#include <QStringList>

namespace ferrodock {

class AppInstance;
class MainWindow;

// Files given to the program (ferrodock open FILE..., or a later start's), as file: URIs:
// the window comes to the front and the first file is chosen as a drop chooses it, on the
// Image page when its extension is an image type's, else on the File page; that page says how
// many others it left. Other URIs are left out; with none, the window only comes to the front.
void openFiles(MainWindow& window, const QStringList& uris);

// Opens what later starts hand to `instance` in `window`, which takes the focus with the token
// they pass.
void serveLaterStarts(MainWindow& window, AppInstance& instance);

}  // namespace ferrodock
