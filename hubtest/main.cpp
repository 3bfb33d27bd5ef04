// hubtest: the bench tool that drives one hub's outputs and inputs.
#include "hubtest/Test.h"
#include "hubtest/comtestport.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    hub::ComTestPort port;
    hub::TFTest w(port, hub::SystemClock::instance());
    w.show();
    return app.exec();
}
