#pragma once

// What the window works with, made by the composition root, which keeps each of them for longer
// than the window.

namespace ferrodock {

class DesktopNotices;
class HistoryStore;
class OpenPanel;
class ScratchFolder;
class ScreenCapture;
class Session;
class Transport;

struct Services {
    Transport& transport;
    OpenPanel& openPanel;
    DesktopNotices& notices;
    Session& session;
    HistoryStore& history;
    ScratchFolder& scratch;  // where pasted, dropped and captured pictures wait for their upload
    ScreenCapture& capture;
};

}  // namespace ferrodock
