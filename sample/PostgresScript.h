#pragma once

#include "SampleSchema.h"

#include <string>

namespace sample {

// A psql script that loads the sample data into PostgreSQL: the tables with the same rows as
// Sample.db (COPY blocks), their indexes and views, the table archive.orders and three stored
// routines. Meant for psql -v ON_ERROR_STOP=1 --single-transaction; running it again replaces
// the sample objects and touches nothing else.
std::string postgresScript();

// One field of a COPY text-format row.
std::string copyField(const Value &value);

} // namespace sample
