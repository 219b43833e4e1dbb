#include "platform/FormEncoding.h"
#include "platform/Transfer.h"

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ferrodock::transfer {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void wipe(void* data, size_t size) {
    if (size > 0) explicit_bzero(data, size);
}

void wipe(QString& text) {
    wipe(text.data(), size_t(text.size()) * sizeof(QChar));
}

// Encodes the next piece of `value` into f.staged; true when it was the last.
template <typename View>
bool stageValue(FormBody& f, View value) {
    qsizetype end = std::min(value.size(), f.fieldOffset + 16384);
    // A pair across the edge goes whole into this piece; an unpaired surrogate stays where it is.
    if constexpr (std::is_same_v<View, QStringView>)
        if (end < value.size() && value[end - 1].isHighSurrogate() && value[end].isLowSurrogate())
            ++end;
    const View chunk = value.sliced(f.fieldOffset, end - f.fieldOffset);
    // Reserved once (a reserve no larger than the capacity does nothing), so growing never
    // leaves an unwiped copy behind.
    f.staged.reserve(16384 * 12 + 2);
    f.staged.resize(size_t(formEncodedSize(chunk)));
    appendFormEncoded(f.staged.data(), chunk);
    f.fieldOffset = end;
    return end >= value.size();
}

// Makes the next piece of a streamed form body, wiping the one before.
void stageForm(FormBody& f) {
    wipe(f.staged.data(), f.staged.size());
    f.staged.clear();
    f.stagedPos = 0;
    if (f.fieldIndex >= f.fields.size()) return;
    const FormField& field = f.fields[f.fieldIndex];
    if (f.fieldOffset < 0) {
        if (f.fieldIndex > 0) f.staged += '&';
        f.staged += field.name.toStdString();
        f.staged += '=';
        f.fieldOffset = 0;
        return;
    }
    if (field.utf8.isEmpty() ? stageValue(f, QStringView(field.value))
                             : stageValue(f, QByteArrayView(field.utf8))) {
        ++f.fieldIndex;
        f.fieldOffset = -1;
    }
}

size_t onFormRead(char* buffer, size_t size, size_t count, void* arg) {
    auto& f = *static_cast<FormBody*>(arg);
    size_t room = size * count, written = 0;
    while (room > 0) {
        if (f.stagedPos >= f.staged.size()) {
            stageForm(f);
            if (f.staged.empty()) break;
        }
        const size_t n = std::min(room, f.staged.size() - f.stagedPos);
        std::memcpy(buffer + written, f.staged.data() + f.stagedPos, n);
        f.stagedPos += n;
        written += n;
        room -= n;
    }
    return written;
}

int onFormSeek(void* arg, curl_off_t offset, int origin) {
    if (origin != SEEK_SET || offset != 0) return CURL_SEEKFUNC_CANTSEEK;
    auto& f = *static_cast<FormBody*>(arg);
    wipe(f.staged.data(), f.staged.size());
    f.fieldIndex = 0;
    f.fieldOffset = -1;
    f.staged.clear();
    f.stagedPos = 0;
    return CURL_SEEKFUNC_OK;
}

size_t onUploadRead(char* buffer, size_t size, size_t count, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    auto& u = std::get<UploadBody>(t.body);
    if (!openUpload(u, t.failure)) return CURL_READFUNC_ABORT;
    struct stat st {};
    if (::fstat(u.fd, &st) != 0 || st.st_size != u.fileSize) {
        u.problem = TransportError::FileChanged;
        t.failure = QStringLiteral("%1 changed size during the upload").arg(u.filePath);
        return CURL_READFUNC_ABORT;
    }
    const size_t wanted =
        size_t(std::min<curl_off_t>(curl_off_t(size * count), u.fileSize - u.fileOffset));
    size_t got = 0;
    while (got < wanted) {
        const ssize_t n = TEMP_FAILURE_RETRY(
            ::pread(u.fd, buffer + got, wanted - got, off_t(u.fileOffset) + off_t(got)));
        if (n < 0) {
            u.problem = TransportError::FileUnreadable;
            t.failure = QStringLiteral("cannot read %1: %2").arg(u.filePath, systemError(errno));
            return CURL_READFUNC_ABORT;
        }
        if (n == 0) {
            u.problem = TransportError::FileChanged;
            t.failure = QStringLiteral("%1 shrank during the upload").arg(u.filePath);
            return CURL_READFUNC_ABORT;
        }
        got += size_t(n);
    }
    u.fileOffset += curl_off_t(got);
    return got;
}

// curl rewinds the body when it sends it again, as on a fresh connection.
int onUploadSeek(void* arg, curl_off_t offset, int origin) {
    auto& u = std::get<UploadBody>(static_cast<Transfer*>(arg)->body);
    if (origin != SEEK_SET || offset < 0 || offset > u.fileSize) return CURL_SEEKFUNC_FAIL;
    u.fileOffset = offset;
    return CURL_SEEKFUNC_OK;
}

// Big reads keep the per-chunk overhead of large uploads close to that of the curl tool; at
// 512 KiB the service sat idle between pieces long enough to lengthen a 1 GiB upload.
constexpr long kUploadBufferBytes = 256 * 1024;

// libcurl asks for "100 Continue" before a body over 1 MiB and waits a second for it; many
// services never send one, and this client has nothing to gain from the early refusal it
// allows. An empty "Expect:" line drops the header.
curl_slist* noExpect(curl_slist* headers) {
    curl_slist* with = curl_slist_append(headers, "Expect:");
    if (!with) curl_slist_free_all(headers);
    return with;
}

// The one place that knows how long an encoded form is.
curl_off_t formBodySize(const QList<FormField>& fields) {
    curl_off_t total = 0;
    for (qsizetype i = 0; i < fields.size(); ++i)
        total += (i > 0) + fields[i].name.toUtf8().size() + 1 +
                 (fields[i].utf8.isEmpty() ? formEncodedSize(fields[i].value)
                                           : formEncodedSize(QByteArrayView(fields[i].utf8)));
    return total;
}

bool attachForm(Transfer& t, FormBody& f) {
    t.headers =
        noExpect(curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded"));
    if (!t.headers) return false;
    CURL* e = t.easy;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers));
    set(curl_easy_setopt(e, CURLOPT_POST, 1L));
    set(curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, formBodySize(f.fields)));
    set(curl_easy_setopt(e, CURLOPT_READFUNCTION, onFormRead));
    set(curl_easy_setopt(e, CURLOPT_READDATA, &f));
    set(curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, onFormSeek));
    set(curl_easy_setopt(e, CURLOPT_SEEKDATA, &f));
    return ok;
}

bool attachUpload(Transfer& t, UploadBody& u) {
    u.mime = curl_mime_init(t.easy);
    t.headers = noExpect(nullptr);
    if (!t.headers) return false;
    bool ok = true;
    auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };
    set(curl_easy_setopt(t.easy, CURLOPT_HTTPHEADER, t.headers));
    // A multipart body or part that could not be made fails every call that fills it in.
    for (const auto& [name, value] : u.fields) {
        curl_mimepart* part = curl_mime_addpart(u.mime);
        set(curl_mime_name(part, name.constData()));
        set(curl_mime_data(part, value.constData(), size_t(value.size())));
    }
    curl_mimepart* file = curl_mime_addpart(u.mime);
    set(curl_mime_name(file, "file"));
    set(curl_mime_filename(file, u.fileName.constData()));
    set(curl_mime_type(file, u.mimeType.constData()));
    if (u.readWhole)
        set(curl_mime_data(file, u.content.constData(), size_t(u.content.size())));
    else
        set(curl_mime_data_cb(file, u.fileSize, onUploadRead, onUploadSeek, nullptr, &t));
    set(curl_easy_setopt(t.easy, CURLOPT_MIMEPOST, u.mime));
    set(curl_easy_setopt(t.easy, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes));
    return ok;
}

}  // namespace

FormBody formBody(QList<FormField> fields) {
    FormBody f;
    f.fields = std::move(fields);
    // Private strings, so that wiping them touches only ours: one the caller still shares
    // (a password it read from its field) is copied, one moved in alone is taken as it is.
    for (FormField& field : f.fields) {
        field.name.detach();
        field.value.detach();
        if (!field.utf8.isEmpty()) field.utf8.detach();
    }
    return f;
}

bool attachBody(Transfer& t) {
    return std::visit(
        [&t](auto& body) {
            if constexpr (std::is_same_v<std::decay_t<decltype(body)>, FormBody>)
                return attachForm(t, body);
            else
                return attachUpload(t, body);
        },
        t.body);
}

// An upload needs nothing here: curl rewinds a multipart body, through onUploadSeek, at the
// start of every request it sends.
void rewindBody(Transfer& t) {
    if (auto* f = std::get_if<FormBody>(&t.body)) onFormSeek(f, 0, SEEK_SET);
}

void releaseBody(RequestBody& body) {
    if (auto* f = std::get_if<FormBody>(&body)) {
        f->staged.resize(f->staged.capacity());
        wipe(f->staged.data(), f->staged.size());
        for (FormField& field : f->fields) {
            wipe(field.name);
            wipe(field.value);
            if (!field.utf8.isEmpty()) wipe(field.utf8.data(), size_t(field.utf8.size()));
        }
    }
    if (auto* u = std::get_if<UploadBody>(&body)) {
        if (u->mime) curl_mime_free(u->mime);
        u->mime = nullptr;
        if (u->fd >= 0) ::close(u->fd);
        u->fd = -1;
    }
}

}  // namespace ferrodock::transfer
