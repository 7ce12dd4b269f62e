// A file list of the main window: several items selectable, dragged to the
// other list to copy. The window decides what a drag or a drop means; this
// class only reports them, naming the list the drag came from.
#pragma once

#include <QListWidget>
#include <functional>

namespace vsk::ui {

class FileListBox : public QListWidget {
  public:
    // Drag states as the window sees them.
    enum DragState { kEnter = 0, kLeave = 1, kOver = 2 };

    explicit FileListBox(QWidget* parent = nullptr);

    std::function<bool()> canStartDrag;  // false: mouse-down starts no drag
    std::function<void()> onGotFocus;
    std::function<void(QWidget* source, int state)> onDragOver;
    std::function<void(QWidget* source)> onDragDrop;

  protected:
    void startDrag(Qt::DropActions actions) override;
    void focusInEvent(QFocusEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QWidget* dragSource_ = nullptr;
};

}  // namespace vsk::ui
