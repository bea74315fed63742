// Calls back when a window event of one type arrives, by default once: that a
// window has been exposed (from then on a person, or a script, can see it
// and click it) or activated (it has the keyboard).
#pragma once

#include <QEvent>
#include <QObject>
#include <QWindow>
#include <functional>
#include <utility>

namespace ui::qt {

class EventWatch final : public QObject {
  public:
    EventWatch(QEvent::Type type, std::function<void()> seen)
        : type_(type), seen_(std::move(seen)) {}

    // Watches `target` (a QWindow for exposure, a widget for activation).
    void Watch(QObject* target) {
        if (target != nullptr) target->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (done_ || event->type() != type_) return false;
        if (type_ == QEvent::Expose) {
            const auto* window = qobject_cast<QWindow*>(watched);
            if (window == nullptr || !window->isExposed()) return false;
        }
        done_ = true;
        seen_();
        return false;
    }

  private:
    const QEvent::Type type_;
    std::function<void()> seen_;
    bool done_ = false;
};

}  // namespace ui::qt
