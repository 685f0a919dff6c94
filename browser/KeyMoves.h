// A view that tells when the keyboard moved its current item (arrows, Home/End, paging, typing a
// name). The tree and the object list treat such a move as the click a mouse user would make, so
// that the list follows the tree and a launch follows the list without a mouse.
#pragma once

#include <QKeyEvent>
#include <QModelIndex>
#include <QPersistentModelIndex>

#include <functional>

namespace browser {

template <class View>
class KeyMoves : public View {
public:
    using View::View;

    std::function<void(const QModelIndex &)> movedByKey;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const QPersistentModelIndex before = this->currentIndex();
        View::keyPressEvent(event);
        const QModelIndex now = this->currentIndex();
        if (movedByKey && now.isValid() && now != before)
            movedByKey(now);
    }
};

} // namespace browser
