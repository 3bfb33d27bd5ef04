#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("TALVIRE ZEMBRA MONITOR HUB"));
    QLabel placeholder(QStringLiteral("ZEMBRA MONITOR HUB Vers. 1.8"));
    placeholder.show();
    return app.exec();
}
