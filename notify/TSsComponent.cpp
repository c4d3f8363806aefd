#include "notify/TSsComponent.h"

TSsComponent::TSsComponent(QObject* owner) : QObject(owner) {}

bool TSsComponent::IsLoading() const
{
    if (loading_) return true;
    const auto* owner = qobject_cast<const TSsComponent*>(parent());
    return owner && owner->IsLoading();
}

void TSsComponent::BeginLoading() { loading_ = true; }

void TSsComponent::EndLoading()
{
    loading_ = false;
    Loaded();
}
