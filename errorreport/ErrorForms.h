#pragma once

#include <QString>

class QGridLayout;
class QGroupBox;
class QLabel;
class QWidget;

namespace faultdesk::forms {

// The parts both error windows share: the "Error" frame with its heading, and the value labels.
QGroupBox *errorFrame(QWidget *parent, const QString &heading, QGridLayout *&grid);
QLabel *valueLabel(QWidget *parent, const char *objectName);
void addRow(QGridLayout *grid, int row, const QString &caption, QLabel *value);

} // namespace faultdesk::forms
