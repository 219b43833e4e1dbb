#include "core/Requests.h"

namespace ferrodock {

namespace {

QString flagText(Flag flag) {
    switch (flag) {
        case Flag::On:
            return QStringLiteral("1");
        case Flag::Mixed:
            return QStringLiteral("-1");
        case Flag::Off:
            break;
    }
    return QStringLiteral("0");
}

}  // namespace

FormRequest loginRequest(const QString& user, const QString& password) {
    return {QStringLiteral("/api/validate/user"),
            {{QStringLiteral("username"), user}, {QStringLiteral("password"), password}}};
}

FormRequest pasteRequest(QByteArray text, const QString& language, const UploadFlags& flags,
                         const QString& apiKey) {
    // Moved, not copied: a large paste is held once while it is sent.
    return {QStringLiteral("/api/upload/paste"),
            {{QStringLiteral("pastedata"), {}, std::move(text)},
             {QStringLiteral("language"), language},
             {QStringLiteral("priv"), flagText(flags.priv)},
             {QStringLiteral("anon"), flagText(flags.anon)},
             {QStringLiteral("apikey"), apiKey}}};
}

FormRequest uploadRequest(bool image, const UploadFlags& flags, const QString& apiKey) {
    FormRequest request{
        image ? QStringLiteral("/api/upload/image") : QStringLiteral("/api/upload/file"),
        {{QStringLiteral("priv"), flagText(flags.priv)},
         {QStringLiteral("anon"), flagText(flags.anon)}}};
    if (image) request.fields.append({QStringLiteral("nsfw"), flagText(flags.nsfw)});
    request.fields.append({QStringLiteral("apikey"), apiKey});
    return request;
}

}  // namespace ferrodock
