#pragma once
#include <QObject>

// The common base of the shell components: a component with an owner (its QObject parent).
class TSsComponent : public QObject {
    Q_OBJECT
public:
    explicit TSsComponent(QObject* owner = nullptr);
};
