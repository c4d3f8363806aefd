#pragma once
#include <QObject>

// The common base of the shell components: a component with an owner (its QObject parent),
// which shares its owner's loading state. While loading, the owner hands over the stored
// properties; `EndLoading` then tells the component through `Loaded`.
class TSsComponent : public QObject {
    Q_OBJECT
public:
    explicit TSsComponent(QObject* owner = nullptr);

    QObject* Owner() const { return parent(); }

    // csDesigning never holds here: there is no form designer.
    bool IsDesigning() const { return false; }
    // Loading while this component or an owning shell component is loading.
    bool IsLoading() const;

    void BeginLoading();
    void EndLoading();  // clears the state, then Loaded()

protected:
    virtual void Loaded() {}

private:
    bool loading_ = false;
};
