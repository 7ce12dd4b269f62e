#include "file_list_box.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>

namespace vsk::ui {

FileListBox::FileListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
}

void FileListBox::startDrag(Qt::DropActions actions) {
    if (canStartDrag && !canStartDrag()) return;
    QListWidget::startDrag(actions);
}

void FileListBox::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    if (onGotFocus) onGotFocus();
}

// Only the window's own lists are drag sources it knows; anything else (files
// from another program) is not taken.
void FileListBox::dragEnterEvent(QDragEnterEvent* event) {
    dragSource_ = dynamic_cast<FileListBox*>(event->source());
    if (dragSource_ == nullptr || dragSource_ == this) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (onDragOver) onDragOver(dragSource_, kEnter);
}

void FileListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (dragSource_ == nullptr || dragSource_ == this) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (onDragOver) onDragOver(dragSource_, kOver);
}

void FileListBox::dragLeaveEvent(QDragLeaveEvent* event) {
    event->accept();
    if (dragSource_ != nullptr && onDragOver) onDragOver(dragSource_, kLeave);
    dragSource_ = nullptr;
}

void FileListBox::dropEvent(QDropEvent* event) {
    QWidget* source = dragSource_;
    dragSource_ = nullptr;
    if (source == nullptr) {
        event->ignore();
        return;
    }
    // The items stay where they are: a drop copies files, it does not move items.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (onDragDrop) onDragDrop(source);
}

}  // namespace vsk::ui
