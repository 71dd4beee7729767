// Uses the stored stamp templates as the window does, so that a test can
// watch from outside for time and memory: "dialog" builds the signature
// dialog in the stamp mode and opens its template list (the previews of the
// rows it shows are drawn); "stamp" makes a stamped copy with one template.
// Prints one line and exits 0; 2 for bad arguments.
//   stamp_child dialog <source.pdf>
//   stamp_child stamp <source.pdf> <out.pdf> <template id>
#include "SignatureDialog.h"
#include "StampTestSupport.h"
#include "StampedPdfCopy.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCryptographicHash>
#include <QTest>

#include <cstdio>

namespace {

QComboBox* modeBox(SignatureDialog& dialog)
{
    for (QComboBox* box : dialog.findChildren<QComboBox*>()) {
        if (box->count() == 5 && box->itemData(4).toInt() == 4)
            return box;
    }
    return nullptr;
}

int showDialog(const QString& source)
{
    SignatureDialog::Setup setup;
    setup.sourcePath = source;
    setup.children.program = QStringLiteral("/bin/true");
    SignatureDialog dialog(setup, nullptr);
    modeBox(dialog)->setCurrentIndex(3);
    dialog.show();
    QComboBox* box = stamptest::templateBox(&dialog);
    box->showPopup();
    // The rows the open list shows are drawn one by one: wait for all of them,
    // however busy the machine (the test times the child as a whole).
    const auto shownDrawn = [box] {
        const QRect shown = box->view()->viewport()->rect();
        for (int row = 0; row < box->count(); ++row) {
            if (box->view()->visualRect(box->model()->index(row, box->modelColumn())).intersects(shown)
                && !stamptest::previewDrawn(box->itemIcon(row)))
                return false;
        }
        return true;
    };
    if (!QTest::qWaitFor(shownDrawn, 45000))
        std::fprintf(stderr, "the shown rows are not all drawn\n");
    int previews = 0;
    for (int row = 0; row < box->count(); ++row)
        previews += stamptest::previewDrawn(box->itemIcon(row)) ? 1 : 0;
    box->hidePopup();
    std::printf("listed %d drawn %d\n", box->count(), previews);
    return 0;
}

int stamp(const QString& source, const QString& output, const QString& templateId)
{
    SigningCertificate certificate;
    certificate.subject = QStringLiteral("CN=Иванов Иван Иванович");
    SignatureStampOptions options;
    options.templateId = templateId;
    QString error;
    const bool made = createStampedPdfCopy(source, output, certificate, QByteArray(32, '\x5a'),
                                           QDateTime::currentDateTime(), options, &error);
    std::printf("%s\n", made ? "stamped" : qPrintable(QStringLiteral("refused: ") + error));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("vorn"));
    QApplication::setApplicationName(QStringLiteral("vorn-stamp-test"));
    const QStringList args = QApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("dialog"))
        return showDialog(args.at(2));
    if (args.size() == 5 && args.at(1) == QLatin1String("stamp"))
        return stamp(args.at(2), args.at(3), args.at(4));
    std::fprintf(stderr, "usage: stamp_child dialog <source.pdf> | stamp <source.pdf> <out.pdf> <id>\n");
    return 2;
}
