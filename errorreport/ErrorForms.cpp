#include "ErrorForms.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>

namespace faultdesk::forms {

QGroupBox *errorFrame(QWidget *parent, const QString &heading, QGridLayout *&grid)
{
    auto *frame = new QGroupBox(QStringLiteral("Error"), parent);
    frame->setObjectName(QStringLiteral("fraError"));
    grid = new QGridLayout(frame);
    auto *message = new QLabel(heading, frame);
    message->setWordWrap(true);
    grid->addWidget(message, 0, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    return frame;
}

QLabel *valueLabel(QWidget *parent, const char *objectName)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    // Error texts come from anywhere; never let one be read as markup.
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void addRow(QGridLayout *grid, int row, const QString &caption, QLabel *value)
{
    auto *label = new QLabel(caption, value->parentWidget());
    grid->addWidget(label, row, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(value, row, 1, Qt::AlignTop);
}

} // namespace faultdesk::forms
