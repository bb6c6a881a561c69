#pragma once

class QByteArray;
class QSaveFile;

// Completing a QSaveFile so that a save which cannot be finished keeps the
// previous file whole. QSaveFile::commit() alone replaces the file even
// when bytes still in its buffer could not be written (a full disk), and
// a short write goes unnoticed unless every result is checked.
namespace SaveFile {

// Writes all of data; on any shortfall the save is cancelled and false
// returned (a later commit() then keeps the previous file).
bool write(QSaveFile &file, const QByteArray &data);

// Flushes, and replaces the target only when every byte reached the file
// system. False, with the previous file untouched and the temporary file
// gone, otherwise.
bool commit(QSaveFile &file);

} // namespace SaveFile
