#include "monitor/display/monitormodel.h"

namespace hub {

MonitorModel::MonitorModel() {
    for (int k = 1; k <= 8; ++k) {
        for (int n = 1; n <= 14; ++n) led(k, n).code = n;
        labBarre[k - 1].caption = QString::number(k);
        labVers[k - 1].caption = QStringLiteral(" V.");
    }
    for (int i = 1; i <= 4; ++i) {
        labGruppi[i - 1].caption = QString(QChar('A' + i - 1));
        for (int j = 1; j <= 8; ++j) raggio(i, j).code = 100 * i + j;
    }
}

} // namespace hub
