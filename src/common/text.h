#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Text rules shared by the engine and the window. Network data is QByteArray
// (one byte a character); user-visible text is QString.
namespace mosscatch {

// Lower case, then strip leading and trailing space characters only
// (tabs and line breaks stay).
QString lowerTrim(const QString &text);
QByteArray lowerTrim(const QByteArray &text);
// Strips leading and trailing space characters only.
QByteArray trimSpaces(const QByteArray &text);

// Removes each of \ / : * ? " < > | without putting anything in their place.
QString safeFileName(const QString &text);

QByteArray reverseText(const QByteArray &text);

// True when the text holds a byte below 32 or DEL: in an address or a request
// target such a byte could add lines to a request.
bool holdsControlCharacter(QByteArrayView text);

// The text on one line: line feed, carriage return and tab as \n, \r and \t,
// other control characters as \xHH.
QString escapedControls(const QString &text);

// The part of a path after its last "/"; a path without "/" is returned whole.
QByteArray urlFileName(const QByteArray &path);

// A file name from the bytes of an address, losslessly: valid UTF-8 is read as
// such, and every byte that is not part of it is written as "%" and two
// hexadecimal digits, so different bytes never give the same name.
QString fileNameText(const QByteArray &bytes);

// The number at the start of the text, as a lenient decimal reader: leading
// blanks are skipped and reading stops at the first character that cannot
// continue the number; no number gives 0.
double leadingNumber(const QByteArray &text);
double leadingNumber(const QString &text);

}
