#pragma once

#include "surface.h"

// The customer-service card at the foot of the login panel. Display only.
class ContactCard : public Surface
{
    Q_OBJECT
public:
    explicit ContactCard(const QString &supportQQ, QWidget *parent = nullptr);
};
