#include <hlQueryBuilder/clsQueryCol.h>

clsQueryCol::clsQueryCol(QObject *parent)
    : QObject(parent)
{
}

clsQueryCol::~clsQueryCol() = default;
