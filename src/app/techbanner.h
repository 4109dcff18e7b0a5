#pragma once

#include "surface.h"

class TextLabel;

// The card under the setup panel's heading; its right-hand status follows `authenticated`.
class TechBanner : public Surface
{
    Q_OBJECT
public:
    explicit TechBanner(QWidget *parent = nullptr);

    void setReady(bool ready);
    TextLabel *statusLabel() const { return m_status; }

private:
    TextLabel *m_status;
};
