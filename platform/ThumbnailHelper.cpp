#include "platform/ThumbnailHelper.h"

#include <QFile>
#include <QProcess>

namespace ferrodock {

QByteArray thumbnailByHelper(const QByteArray& program, const QString& path) {
    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kThumbnailMode), QStringLiteral("1"));
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.start(QFile::decodeName(program), {path});
    if (!helper.waitForFinished(-1) || helper.exitStatus() != QProcess::NormalExit ||
        helper.exitCode() != 0)
        return {};
    return helper.readAllStandardOutput();
}

}  // namespace ferrodock
