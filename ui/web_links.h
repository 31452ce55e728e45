// Pages that ship with the program: beside the executable under docs/, or in
// the installed data directory (share/tessaly-recorder/docs).
#pragma once

#include <QUrl>

namespace weblinks {

const QUrl& userGuide();
const QUrl& support();
const QUrl& about();
const QUrl& audioSetup();

}  // namespace weblinks
