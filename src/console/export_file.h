#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

class QTextDocument;

// Appends one line of the list in the export form: code page 936 bytes, no line break.
// Soft line breaks and paragraph separators inside the text become CR LF as well.
void AppendExportLine(QByteArray& out, QStringView line);

// The whole export file for a document: its lines joined by CR LF, code page 936, no BOM.
QByteArray ExportBytes(const QTextDocument& document);

// Creates (or replaces) the file and writes the export form of the document into it.
// Raises Exception "Cannot create file \"<full path>\". <system text>" when the file cannot
// be created, and "Stream write error" when a write stops short.
void WriteExportFile(const QString& path, const QTextDocument& document);
