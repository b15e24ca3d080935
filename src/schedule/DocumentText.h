#pragma once

#include <QByteArray>
#include <QString>

namespace cantrel {

// "The file <name> was changed, would you like to save the changes?"
QString changedQuestion(const QString& documentName);

// Replaces the file with the document's bytes. Raises "Can't create file!"
// when the file cannot be created, and "Can't write file!" when it was
// created but the bytes did not all reach it (the old file is then whole);
// the detail names the file and why.
void saveDocument(const QString& path, const QByteArray& bytes);

} // namespace cantrel
