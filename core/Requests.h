#pragma once

// What each request sends the service: its path and its form fields, in the order the service
// has always received them. The window and the command line both build their requests here.

#include "core/Transport.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace ferrodock {

// A tick box as the service reads it: "1" ticked, "0" not, "-1" mixed.
enum class Flag { Off, On, Mixed };

struct UploadFlags {
    Flag priv = Flag::Off;
    Flag anon = Flag::Off;
    Flag nsfw = Flag::Off;  // sent for images only
};

struct FormRequest {
    QString path;
    QList<FormField> fields;
};

// The login: user name and password, sent as they are.
FormRequest loginRequest(const QString& user, const QString& password);
// A paste of `text` (UTF-8) in the language the service knows as `language`.
FormRequest pasteRequest(QByteArray text, const QString& language, const UploadFlags& flags,
                         const QString& apiKey);
// The fields that go with an uploaded file or image; the file itself is the transport's.
FormRequest uploadRequest(bool image, const UploadFlags& flags, const QString& apiKey);

}  // namespace ferrodock
