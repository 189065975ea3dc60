#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <functional>

// The text of the list, handed to `take` piece by piece in order. Lines end at a paragraph or
// line separator, LF, CR or CR LF.
using ExportSource = std::function<void(const std::function<void(QStringView)>& take)>;

// The whole export file for the text: its lines joined by CR LF, code page 936, no BOM.
QByteArray exportBytes(const ExportSource& source);

// Writes the export form of the text to the file, replacing an earlier one only once the new
// one is whole. Raises Exception "Cannot create file \"<full path>\". <system text>" when the
// file cannot be created, and "Stream write error" when a write stops short.
void writeExportFile(const QString& path, const ExportSource& source);
