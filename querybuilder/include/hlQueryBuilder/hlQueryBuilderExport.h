#pragma once

#include <QtGlobal>

// The library is built with hidden symbols: only what carries this macro is reachable from outside.
#if defined(hlQueryBuilder_EXPORTS)
#define HLQUERYBUILDER_EXPORT Q_DECL_EXPORT
#else
#define HLQUERYBUILDER_EXPORT Q_DECL_IMPORT
#endif
