// hubtest: the bench tool that drives one hub's outputs and inputs.
#include "hubtest/Test.h"
#include "common/hubport.h"
#include "monitor/language.h"

#include <QApplication>
#include <QTranslator>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Before the application object: --help must work without a display.
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs("Usage: hubtest\n"
                   "\n"
                   "The bench tool of an infrared perimeter-protection hub: \"Connect ...\" asks\n"
                   "for the serial port, then each switch drives one of the hub's outputs and\n"
                   "the test buttons check the barriers and the stand-by inputs.\n"
                   "\n"
                   "  --help, -h   show this text and exit\n",
                   stdout);
        return 0;
    }
    QApplication app(argc, argv);
    // The toolkit's own texts (message boxes, port errors) in Italian where
    // hubmonitor speaks Italian.
    QTranslator toolkitTexts;
    if (hub::loadToolkitTranslation(toolkitTexts, hub::interfaceLanguage(QLocale::system())))
        QApplication::installTranslator(&toolkitTexts);
    hub::ComHubPort port;
    hub::TFTest w(port, hub::SystemClock::instance());
    w.show();
    return app.exec();
}
