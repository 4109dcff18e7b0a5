#include "application.h"
#include "mainwindow.h"

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    if (const std::optional<int> status = app.leaveEarly())
        return *status;
    MainWindow window;
    window.show();
    return app.exec();
}
