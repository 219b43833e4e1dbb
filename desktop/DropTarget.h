#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QUrl>

#include <functional>

class QMimeData;
class QWidget;

namespace ferrodock {

// Lets other applications drop on `view`: a drag is taken where `wanted` says its data is of
// use, and a drop's data is handed to `onDrop`; any other drag is refused.
void takeDrops(QWidget* view, std::function<bool(const QMimeData*)> wanted,
               std::function<void(const QMimeData*)> onDrop);

// What another application hands over, by a drop or on the clipboard, read without decoding
// any picture.

// The addresses offered, in order: a list of them, a browser's link, or a text that is one
// web address.
QList<QUrl> offeredUrls(const QMimeData* data);
// The local files among `urls`, in order; folders and names with nothing there are left out.
QStringList localFiles(const QList<QUrl>& urls);
// An http:// or https:// address.
bool isWebAddress(const QUrl& url);
// Whether `data` holds a picture of a type that can be read.
bool offersPicture(const QMimeData* data);
// The picture as PNG bytes: PNG data as it came, any other decoded and written as PNG; empty
// when it cannot be read.
QByteArray offeredPng(const QMimeData* data);

}  // namespace ferrodock
