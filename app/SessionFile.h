#pragma once

// The remembered login: "ferrodock.data" in the user's Documents folder holds the user name, a
// comma and the API key, UTF-8, one line without a terminator. It is written atomically with
// owner-only permission, read once at start-up and deleted at logout. The Documents folder is
// never created by the program.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace ferrodock {

struct SavedLogin {
    QString userName;
    QString apiKey;
    bool operator==(const SavedLogin&) const = default;
};

inline constexpr char kSessionFileName[] = "ferrodock.data";
// A larger file is not ours; it reads as no session.
constexpr qint64 kSessionFileLimit = 64 * 1024;

// The user's Documents folder, or none when the platform names none.
std::optional<QString> documentsDirectory();

// The file's text for a login, and a pair read back from such text. Text that is not UTF-8 or
// holds no comma reads as no session; a third field and anything after it are ignored.
QByteArray sessionText(const QString& userName, const QString& apiKey);
std::optional<SavedLogin> parseSessionText(QByteArrayView text);

std::optional<SavedLogin> readSessionFile();
// Returns whether the file now holds the pair. When it cannot, the old file is removed where
// possible and standard error says the login is not remembered.
bool writeSessionFile(const QString& userName, const QString& apiKey);
// Removes the file and nothing else. A symbolic link is removed, and the regular file of the
// user's it points to is emptied when it holds a session, never removed.
void clearSessionFile();

}  // namespace ferrodock
