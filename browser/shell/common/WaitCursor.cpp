#include "WaitCursor.h"

#include <QApplication>

namespace qlon::shell {

TWaitCursor::TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
TWaitCursor::~TWaitCursor() { QApplication::restoreOverrideCursor(); }

void ProcessMessages() { QCoreApplication::processEvents(); }

}  // namespace qlon::shell
