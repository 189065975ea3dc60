#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// The whole export file for a document: its lines joined by CR LF (a soft break or a stray
// CR or LF in a line is a line break too), code page 936, no BOM.
QByteArray ExportBytes(QTextDocument& document);

// Creates (or replaces) the file and writes the export form of the document into it.
// Raises Exception "Cannot create file \"<full path>\". <system text>" when the file cannot
// be created, and "Stream write error" when a write stops short; a file cut short is removed.
void WriteExportFile(const QString& path, QTextDocument& document);
