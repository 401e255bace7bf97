#pragma once

#include <QString>

class QLineEdit;

// Small bridges between the window and the desktop; those that act swallow
// their own failures.
namespace mosscatch {

// Opens a folder in the file manager, or a web address in the browser,
// without waiting for either.
void openInExplorer(const QString &target);

// Selects the whole text, so that typing replaces it.
void selectAllText(QLineEdit *box);

}
