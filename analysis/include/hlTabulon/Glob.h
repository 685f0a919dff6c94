#pragma once

#include <tabulon/hlTabulonExport.h>

#include <QString>

namespace analysis {

// Our web pages, by number: 0 the home page, 1 the product's page, 2 the support forum. Any other
// number gives an empty address.
HLTABULON_EXPORT QString siteAddress(int page);

// Opens one of our web pages in the user's browser. The opener's answer is not examined (an
// unknown page simply opens nothing); true unless the attempt itself failed, which is reported
// under "Show_Site".
HLTABULON_EXPORT bool Show_Site(qint16 page);

} // namespace analysis
