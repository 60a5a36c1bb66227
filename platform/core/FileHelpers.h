#pragma once

#include <QByteArray>
#include <QString>

class QFileDevice;

namespace larkspan {

// True only for an existing file that can be opened; a folder, a missing path or a
// path whose folder does not exist gives false. Never raises.
bool FileExistsOnDisk(const QString &path);

// The whole file as text in the system's encoding. Raises AppError naming the path
// when the file is missing (53), its folder is missing (76), it may not be read (70)
// or it cannot be read for another reason (75).
QString ReadWholeFile(const QString &path);

// Writes all of bytes to an open file. Empty on success, otherwise the system's reason
// ("No space left on device"), which a single short write does not report by itself.
QString WriteAllBytes(QFileDevice &file, const QByteArray &bytes);

// Appends bytes to the file at path in one open-write-close cycle, creating it when it
// is missing; the cycle is three system calls, so a caller may run it for every item of
// a long walk. Raises "Path not found" (76) when the folder is missing, "Permission
// denied" (70) when the file cannot be opened otherwise, and "Device I/O error" (57)
// with the system's reason when the bytes cannot all be written.
void AppendToFile(const QString &path, const QByteArray &bytes);

// Text files written through numbered slots. OpenTextFile creates or truncates the
// file; the same errors as ReadWholeFile are raised for a path that cannot be
// written, and "File already open" (55) for a slot in use.
int FreeFileSlot();
void OpenTextFile(const QString &path, int slot);
// Writes the text as it is (no line end added) in the system's encoding, straight to
// the file. A slot that is not open raises "Bad file name or number" (52); a failed
// write raises 57 with the system's reason.
void WriteText(const QString &text, int slot);
// Closes the slot's file and every other file still open through these routines.
// A file whose buffered text could not be written raises 57 after all are closed.
void CloseTextFile(int slot);

} // namespace larkspan
