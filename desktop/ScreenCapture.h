#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class QWidget;

namespace ferrodock {

class ScratchFolder;

// A picture of the screen, taken for the window: through the desktop's screenshot portal
// (org.freedesktop.portal.Screenshot), which lets the person pick what to capture; without one,
// on X11, the whole screen grabbed while the window is hidden and written to the scratch folder.
// Elsewhere there is no way, and available() says so.
class ScreenCapture final : public QObject {
    Q_OBJECT
public:
    explicit ScreenCapture(ScratchFolder& scratch, QObject* parent = nullptr);
    ~ScreenCapture() override;

    // Looks, once and without waiting, whether the session bus has the portal; decided() follows.
    void probe();
    // True until the probe has found no way to capture.
    bool available() const { return way_ != Way::None; }
    // Why there is no way, once the probe has found none.
    QString unavailableReason() const;

    // Captures on behalf of `window`, which the X11 grab hides meanwhile; captured() or failed()
    // follows, or nothing when the person cancels or the portal never answers. Asked before the
    // probe ends, it starts once that does. A new request replaces one still open.
    void capture(QWidget* window);

Q_SIGNALS:
    void decided();
    // `path` is the portal's own file, or the grab's in the scratch folder.
    void captured(const QString& path);
    void failed();

private Q_SLOTS:
    void responded(uint response, const QVariantMap& results);

private:
    enum class Way { Unknown, Portal, Grab, None };
    void decide(bool portal);
    void askPortal();
    void listen(const QString& request, bool on);
    void closeRequest();
    void grabScreen();

    ScratchFolder& scratch_;
    Way way_ = Way::Unknown;
    bool probing_ = false;
    bool waiting_ = false;  // a capture asked for before the probe ended
    bool grabbing_ = false;
    QPointer<QWidget> window_;
    QString request_;  // the portal's Request object listened to
    quint64 tokens_ = 0;
};

}  // namespace ferrodock
