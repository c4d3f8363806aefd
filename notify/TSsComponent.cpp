#include "notify/TSsComponent.h"

TSsComponent::TSsComponent(QObject* owner) : QObject(owner) {}
