#include "ui/FormButton.h"

#include <QPushButton>

namespace ui {

QPushButton *formButton(QWidget *parent, const QString &name, const QString &caption, const QString &tip)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    if (!tip.isEmpty())
        b->setToolTip(tip);
    b->setAutoDefault(false);
    return b;
}

} // namespace ui
