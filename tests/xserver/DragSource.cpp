// A window to drag files from in the X server tests, as a file manager would: the left button
// pressed on it and moved starts a drag of the files named on the command line. It prints
// "wid=N" once it is first painted (mapped, so that the pointer pressed on it reaches it) and
// "dropped=A" (the drop action, 0 for none) when the drag ends.
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

class TDragSource : public QWidget {
 public:
  explicit TDragSource(QList<QUrl> urls) : urls_(std::move(urls)) {
    setWindowTitle(QStringLiteral("drag source"));
    resize(120, 120);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    pressed_ = event->button() == Qt::LeftButton;
  }

  void paintEvent(QPaintEvent*) override {
    if (announced_) return;
    announced_ = true;
    std::printf("wid=%llu\n", static_cast<unsigned long long>(winId()));
    std::fflush(stdout);
  }

  void mouseMoveEvent(QMouseEvent*) override {
    if (!pressed_) return;
    pressed_ = false;
    auto* data = new QMimeData;
    data->setUrls(urls_);
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const Qt::DropAction action = drag->exec(Qt::CopyAction);
    std::printf("dropped=%d\n", static_cast<int>(action));
    std::fflush(stdout);
  }

 private:
  QList<QUrl> urls_;
  bool pressed_ = false;
  bool announced_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QList<QUrl> urls;
  for (const QString& path : application.arguments().mid(1)) urls.append(QUrl::fromLocalFile(path));
  TDragSource source(urls);
  source.show();
  return application.exec();
}
