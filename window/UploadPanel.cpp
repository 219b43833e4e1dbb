#include "window/UploadPanel.h"

#include "core/Answers.h"
#include "core/Feedback.h"
#include "platform/DesktopNotices.h"
#include "window/FittedText.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <cmath>

namespace ferrodock {

namespace {

// Uploads that end sooner are not worth a moving bar.
constexpr int kRevealDelayMs = 300;
constexpr int kBarSteps = 1000;

QString durationText(double seconds) {
    const qint64 s = qint64(std::ceil(seconds));
    if (s < 60) return QStringLiteral("%1 s").arg(std::max<qint64>(s, 1));
    // Whole minutes, rounded up before they are split, so 1 h 59 min 30 s reads "2 h 0 min".
    const qint64 minutes = (s + 59) / 60;
    if (s < 3600) return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

}  // namespace

QString sizeText(qint64 bytes) {
    if (bytes < 1000) return QStringLiteral("%1 bytes").arg(bytes);
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
    double value = double(bytes) / 1000.0;
    int unit = 0;
    while (value >= 999.95 && unit < 3) {
        value /= 1000.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1Char(' ') + QLatin1String(kUnits[unit]);
}

QString progressText(const QString& label, qint64 sent, qint64 total, double bytesPerSecond) {
    QString text = QStringLiteral("Uploading %1: %2%, %3 of %4")
                       .arg(label)
                       .arg(total > 0 ? sent * 100 / total : 0)
                       .arg(sizeText(sent), sizeText(total));
    if (bytesPerSecond > 0) {
        text += QStringLiteral(", %1/s, about %2 left")
                    .arg(sizeText(qint64(bytesPerSecond)),
                         durationText(double(std::max<qint64>(total - sent, 0)) / bytesPerSecond));
    }
    return text;
}

UploadPanel::UploadPanel(QPushButton* link, const QString& pageName, DesktopNotices& notices)
    : QWidget(link->parentWidget()), link_(link), pageName_(pageName), notices_(notices) {
    const QString name = pageName.toLower();
    setObjectName(name + QStringLiteral("Progress"));
    setAttribute(Qt::WA_StyledBackground);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setMinimumHeight(link->minimumHeight());
    text_ = new QLabel(this);
    text_->setObjectName(name + QStringLiteral("ProgressText"));
    text_->setTextFormat(Qt::PlainText);
    text_->setAccessibleName(pageName + QStringLiteral(" upload progress"));
    fitText(text_);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(name + QStringLiteral("ProgressBar"));
    bar_->setRange(0, kBarSteps);
    bar_->setTextVisible(false);
    bar_->setAccessibleName(pageName + QStringLiteral(" upload progress bar"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(name + QStringLiteral("CancelButton"));
    cancel_->setAccessibleName(QStringLiteral("Cancel the upload"));
    cancel_->setToolTip(QStringLiteral("Stop the upload (Esc)"));
    cancel_->setFocusPolicy(Qt::TabFocus);
    connect(cancel_, &QPushButton::clicked, this, &UploadPanel::cancelAll);

    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    column->addWidget(text_);
    column->addWidget(bar_);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(18, 4, 6, 4);
    row->setSpacing(12);
    row->addLayout(column, 1);
    row->addWidget(cancel_);
    hide();
    if (auto* box = qobject_cast<QBoxLayout*>(link->parentWidget()->layout()))
        box->insertWidget(box->indexOf(link), this);

    revealTimer_.setSingleShot(true);
    connect(&revealTimer_, &QTimer::timeout, this, &UploadPanel::reveal);
}

bool UploadPanel::addFigures(qint64& sent, qint64& total) const {
    for (const auto& [id, upload] : uploads_) {
        sent += upload.last.sent;
        total += upload.last.total;
    }
    return !uploads_.empty();
}

quint64 UploadPanel::begin(const QString& label) {
    Upload upload;
    upload.clock.start();
    upload.label = label;
    uploads_.emplace(++newest_, std::move(upload));
    Q_EMIT begun();
    if (shown_)
        render();
    else
        revealTimer_.start(kRevealDelayMs);
    return newest_;
}

void UploadPanel::attach(quint64 id, TransferHandle handle) {
    if (auto it = uploads_.find(id); it != uploads_.end()) it->second.handle = std::move(handle);
}

ProgressReport UploadPanel::reportFor(quint64 id) {
    return [panel = QPointer<UploadPanel>(this), id](const TransportProgress& progress) {
        if (!panel) return;
        auto it = panel->uploads_.find(id);
        if (it == panel->uploads_.end()) return;
        it->second.last = progress;
        if (id == panel->newest_ && panel->shown_) panel->render();
        Q_EMIT panel->figuresChanged(false);
    };
}

void UploadPanel::finish(quint64 id, const QString& text, bool succeeded) {
    if (uploads_.erase(id) == 0) return;  // cancelled: the page already says so
    if (id == newest_) conceal();
    // An older upload's answer would only be painted over by the newer one's.
    if (uploads_.upper_bound(id) == uploads_.end()) showText(link_, text);
    Q_EMIT figuresChanged(true);
    if (link_->window()->isActiveWindow()) return;
    // An address is told whole, as the link button copies it, and can be copied from there.
    const QString address = succeeded ? answerAddress(text).value_or(QString()) : QString();
    notices_.notify(
        pageName_ + (succeeded ? QStringLiteral(" uploaded") : QStringLiteral(" upload failed")),
        address.isEmpty() ? text : address, address);
}

void UploadPanel::cancelAll() {
    if (uploads_.empty()) return;
    for (auto& [id, upload] : uploads_) upload.handle.cancel();
    uploads_.clear();
    conceal();
    showText(link_, uploadCancelledText());
    Q_EMIT figuresChanged(true);
}

void UploadPanel::reveal() {
    if (!uploads_.contains(newest_)) return;
    shown_ = true;
    link_->hide();
    show();
    render();
}

void UploadPanel::conceal() {
    revealTimer_.stop();
    if (!shown_) return;
    shown_ = false;
    hide();
    link_->show();
}

void UploadPanel::render() {
    const auto it = uploads_.find(newest_);
    if (it == uploads_.end()) return;
    const Upload& upload = it->second;
    const TransportProgress& p = upload.last;
    const double seconds = double(upload.clock.elapsed()) / 1000.0;
    const double rate = seconds >= 1.0 ? double(p.sent) / seconds : 0.0;
    text_->setText(p.fullySent    ? QStringLiteral("Waiting for the service...")
                   : p.total <= 0 ? QStringLiteral("Uploading %1...").arg(upload.label)
                                  : progressText(upload.label, p.sent, p.total, rate));
    fitText(text_);
    bar_->setValue(p.fullySent ? kBarSteps : p.total <= 0 ? 0 : int(p.sent * kBarSteps / p.total));
}

}  // namespace ferrodock
