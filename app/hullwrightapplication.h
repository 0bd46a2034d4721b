#pragma once

#include "gapplication.h"

// The Hullwright application object: names, the sprite-sheet document type,
// and the application-wide commands every document window forwards here.
class HullwrightApplication final : public GApplication
{
    Q_OBJECT
public:
    HullwrightApplication(int& argc, char** argv);

    static QString aboutText();

public slots:
    void about(QWidget* parent) override;
    void showPreferences(QWidget* parent) override;
    void showFeedbackDialog(QWidget* parent) override;
    void updateCheck(QWidget* parent) override;
};
