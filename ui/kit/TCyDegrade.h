#pragma once
#include <QColor>

#include <functional>

// The gradient of a TCyPanel: two colours, top to bottom. Setting a colour repaints the panel.
class TCyDegrade {
public:
    TCyDegrade(const QColor& from, const QColor& to) : from_(from), to_(to) {}
    TCyDegrade(const TCyDegrade&) = delete;
    TCyDegrade& operator=(const TCyDegrade&) = delete;

    QColor FromColor() const { return from_; }
    QColor ToColor() const { return to_; }
    void setFromColor(const QColor& c);
    void setToColor(const QColor& c);

    // Called after a colour really changed.
    void setOnChange(std::function<void()> f) { onChange_ = std::move(f); }

private:
    QColor from_;
    QColor to_;
    std::function<void()> onChange_;
};
