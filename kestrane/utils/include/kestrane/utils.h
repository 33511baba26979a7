// Small stateless helpers shared by the console's widgets: time and size
// texts, folder listings, thumbnails, a random number and a pixmap fade.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class QImage;
class QPixmap;

namespace kestrane {

// Times are whole milliseconds. Hours, minutes and seconds get two digits
// at least (hours grow past two); a negative time is the text of its
// magnitude after a "-".
QString msToTimeText(int ms);       // "hh:mm:ss"
QString msToTimeTextMs(int ms);     // "hh:mm:ss.zzz"
QString msToMinSecText(int ms);     // "mm:ss", mm the total minutes

// Milliseconds of the first "h:m:s.f" found in the text; the digits after
// the point count as milliseconds as they stand ("0:0:1.5" is 1005). No
// match, or a time beyond the int range, gives 0.
int timeTextToMs(const QString& text);

// "1023B", "1.50K", "3.00M", "2.25G" (two decimals, C locale).
QString sizeToText(qint64 bytes);

// Absolute paths of the readable files of a folder and, after each
// sub-folder's place in the listing, of its files; the listing of each
// folder is the default one (no hidden entries, by name). A folder reached
// twice (through a link) is walked once. A missing folder gives nothing.
QStringList collectFiles(const QString& folder);

// The picture fitted into a box of width x height, centred on a "#141414"
// canvas; with `border` the canvas is 2 pixels larger each way and the
// picture 1 pixel right and down. A picture that cannot be loaded, or an
// empty box, gives a null pixmap. Needs the GUI application object.
QPixmap makeThumbnail(const QString& path, int width, int height, bool border);
// The same for a video frame given bottom-up with red and blue swapped;
// with `border` ":/images/video.png" is drawn over the whole canvas.
QPixmap makeVideoThumbnail(const QImage& frame, int width, int height, bool border);

// A number in [minimum, maximum) drawn from the time of day (plus `seed`
// when not 0); minimum == maximum gives minimum, minimum > maximum 0.
int randomInRange(int minimum, int maximum, qint64 seed = 0);

// Scales every pixel's alpha by alpha / 255 (alpha 0..255), in place.
void setPixmapOpacity(QPixmap& pixmap, int alpha);

// A data file the console ships (defaultpic.jpg, help.ini): beside the
// program in a build tree or a folder install, else in <prefix>/share/kestrane
// of an installed program, else in the user's and system's data folders.
// When none has it, the path beside the program. Needs the application object.
QString dataFilePath(const QString& name);
// The same search from a given program folder (for tests).
QString dataFilePathFrom(const QString& programFolder, const QString& name);

}  // namespace kestrane
