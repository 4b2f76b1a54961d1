#include "PortLossNotifier.h"

PortLossNotifier::PortLossNotifier(QObject *parent) : QObject(parent) {}
