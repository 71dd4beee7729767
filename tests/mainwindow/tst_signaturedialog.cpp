// The signature dialog: its file lists, defaults per mode, busy state and the
// certificate list filled by stand-in children of the program.
#include "OutputPaths.h"
#include "PromptDriver.h"
#include "SignatureDialog.h"
#include "SignatureService.h"
#include "SignatureStampTemplate.h"
#include "StampTestSupport.h"
#include "StandInWorker.h"
#include "UiTranslate.h"
#include "WindowTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QWheelEvent>
#include <QStackedWidget>

namespace {

// One second of the search's time-out lasts this long where a test waits for
// the time-out itself; elsewhere a second is a second and the limit is the
// longest the settings allow, far beyond what a busy machine needs.
constexpr int kShortSecondMs = 5;
constexpr int kSecondMs = 1000;

QJsonObject certificateJson(const QString& id, const QString& subject, const QString& provider,
                            const QString& store, bool available, const QString& reason = {})
{
    return {{QStringLiteral("id"), id},
            {QStringLiteral("subject"), subject},
            {QStringLiteral("issuer"), QStringLiteral("CN=Issuer")},
            {QStringLiteral("serial"), QStringLiteral("AB12")},
            {QStringLiteral("thumbprint"), QStringLiteral("FF00")},
            {QStringLiteral("providerName"), provider},
            {QStringLiteral("storeName"), store},
            {QStringLiteral("publicKeyAlgorithm"), QStringLiteral("RSA 2048")},
            {QStringLiteral("validTo"), QStringLiteral("2030-01-05T12:00:00")},
            {QStringLiteral("available"), available},
            {QStringLiteral("unavailableReason"), reason}};
}

QByteArray listJson(const QList<QJsonObject>& certificates, const QString& error = {})
{
    QJsonArray array;
    for (const QJsonObject& c : certificates)
        array.append(c);
    return QJsonDocument(QJsonObject{{QStringLiteral("ok"), true},
                                     {QStringLiteral("error"), error},
                                     {QStringLiteral("certificates"), array}})
        .toJson(QJsonDocument::Compact);
}

// Stored copies of the built-in template under these names; their ids.
QStringList storeTemplates(const QStringList& names)
{
    QDir(signatureStampTemplatesDir()).removeRecursively();
    QStringList ids;
    for (const QString& name : names) {
        SignatureStampTemplate stamp = loadSignatureStampTemplate(QStringLiteral("default"));
        stamp.id.clear();
        stamp.builtIn = false;
        stamp.name = name;
        if (saveSignatureStampTemplate(stamp, nullptr))
            ids << stamp.id;
    }
    return ids;
}

QStringList itemTexts(QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text().section(QLatin1Char('\n'), 0, 0);
    return texts;
}

} // namespace

class TestSignatureDialog : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString pdf3;

    // A dialog for pdf3 whose certificate search runs body.
    std::unique_ptr<SignatureDialog> dialogWith(const QString& body, SignatureDialog::Setup setup = {})
    {
        if (setup.sourcePath.isEmpty())
            setup.sourcePath = pdf3;
        setup.children.program = standin::script(dir, body);
        const QString limit = QStringLiteral("signing/searchTimeoutSec");
        if (!QSettings().contains(limit))
            QSettings().setValue(limit, 900);
        return std::make_unique<SignatureDialog>(setup, nullptr);
    }

    // Writes the answer the stand-in prints.
    QString answering(const QByteArray& json)
    {
        windowtest::writeFixture(dir, QStringLiteral("answer.json"), json);
        return QStringLiteral("cat '%1'").arg(dir.filePath(QStringLiteral("answer.json")));
    }

    static QListWidget* list(SignatureDialog* d) { return d->findChild<QListWidget*>(QStringLiteral("OpenRecentList")); }

    // Waits until the loading page is gone.
    static bool searchEnded(SignatureDialog* d)
    {
        auto* stack = d->findChild<QStackedWidget*>(QStringLiteral("SignatureCertificateStack"));
        return QTest::qWaitFor([stack] { return stack->currentIndex() == 0; }, 120000);
    }

    static QComboBox* modeBox(SignatureDialog* d)
    {
        for (QComboBox* box : d->findChildren<QComboBox*>()) {
            if (box->count() == 5 && box->itemData(0).toInt() == 0 && box->itemData(4).toInt() == 4)
                return box;
        }
        return nullptr;
    }

    static QGroupBox* group(SignatureDialog* d, const QString& title)
    {
        for (QGroupBox* box : d->findChildren<QGroupBox*>()) {
            if (box->title() == title)
                return box;
        }
        return nullptr;
    }

    static QPushButton* button(SignatureDialog* d, const QString& text) { return prompt::buttonWithText(d, text); }

private slots:
    void initTestCase()
    {
        windowtest::isolateSettings();
        QVERIFY(dir.isValid());
        pdf3 = windowtest::writePdf(dir, QStringLiteral("act.pdf"), 3);
    }

    void init()
    {
        QSettings().clear();
        SignatureDialog::setSearchSecondMs(kSecondMs);
    }

    void timeoutClamps_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("revocationSearch");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("words");
        QTest::newRow("default") << QString() << QVariant() << false << 120 << "2 мин.";
        QTest::newRow("below the least") << "signing/searchTimeoutSec" << QVariant(5) << false << 30 << "30 сек.";
        QTest::newRow("above the most") << "signing/searchTimeoutSec" << QVariant(10000) << false << 900 << "15 мин.";
        QTest::newRow("not a number") << "signing/searchTimeoutSec" << QVariant("abc") << false << 120 << "2 мин.";
        QTest::newRow("ninety seconds") << "signing/searchTimeoutSec" << QVariant(90) << false << 90 << "1 мин.";
        QTest::newRow("forty-five seconds") << "signing/searchTimeoutSec" << QVariant(45) << false << 45 << "45 сек.";
        QTest::newRow("revocation default") << QString() << QVariant() << true << 900 << "15 мин.";
        QTest::newRow("revocation below the least")
            << "signing/searchWithRevocationTimeoutSec" << QVariant(10) << true << 60 << "1 мин.";
        QTest::newRow("revocation above the most")
            << "signing/searchWithRevocationTimeoutSec" << QVariant(99999) << true << 3600 << "60 мин.";
        QTest::newRow("plain key ignored in revocation search")
            << "signing/searchTimeoutSec" << QVariant(45) << true << 900 << "15 мин.";
    }

    void timeoutClamps()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(bool, revocationSearch);
        QFETCH(int, seconds);
        QFETCH(QString, words);
        if (!key.isEmpty())
            QSettings().setValue(key, stored);
        QCOMPARE(SignatureDialog::certificateSearchTimeoutSeconds(revocationSearch), seconds);
        QVERIFY(SignatureDialog::certificateSearchTimeoutText(seconds).contains(QStringLiteral("за %1 Если").arg(words)));
    }

    void families_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QString>("store");
        QTest::addColumn<QString>("family");
        QTest::newRow("rutoken wins over cryptopro")
            << "Rutoken via CryptoPro" << "" << "" << "Rutoken / ЭЦП-флешка";
        QTest::newRow("keyword in the container") << "" << "\\\\.\\JaCarta\\x" << "" << "JaCarta / Aladdin";
        QTest::newRow("cyrillic keyword") << "КриптоПро CSP" << "" << "" << "CryptoPro CSP";
        QTest::newRow("file store") << "Vendor X" << "" << "Файл" << "Файловый сертификат / OpenSSL";
        QTest::newRow("openssl provider") << "OpenSSL CMS" << "" << "" << "Файловый сертификат / OpenSSL";
        QTest::newRow("unknown provider") << "  Vendor X  " << "" << "Store" << "Vendor X";
        QTest::newRow("store only") << "" << "" << " My store " << "My store";
        QTest::newRow("nothing") << "" << "" << "" << "Другие провайдеры";
    }

    void families()
    {
        QFETCH(QString, provider);
        QFETCH(QString, container);
        QFETCH(QString, store);
        QFETCH(QString, family);
        SigningCertificate c;
        c.providerName = provider;
        c.containerName = container;
        c.storeName = store;
        QCOMPARE(SignatureDialog::certificateFamily(c), family);
    }

    // Every way a search can end shows one unselectable line and leaves the
    // controls usable.
    void searchFailures_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("shown");
        const QString invalid = QStringLiteral("Изолированный поиск сертификатов вернул некорректный ответ.");
        QTest::newRow("not JSON") << "echo hello" << invalid;
        QTest::newRow("an array") << "echo '[1,2]'" << invalid;
        QTest::newRow("nothing printed") << "true" << invalid;
        QTest::newRow("object with an error") << "echo '{\"error\":\"Нет ключей\",\"certificates\":[]}'"
                                              << "Нет ключей";
        QTest::newRow("object without certificates") << "echo '{\"ok\":true}'" << "Подходящие сертификаты не найдены.";
        QTest::newRow("non-zero exit, its JSON not read")
            << "echo '{\"certificates\":[{\"id\":\"x\",\"available\":true}]}'; echo ' сбой ' >&2; exit 3" << "сбой";
        QTest::newRow("non-zero exit, silent") << "exit 3" << "Поиск сертификатов завершился с ошибкой.";
        // The child's own reason for its failure code comes first.
        QTest::newRow("non-zero exit, its reason")
            << "echo '{\"ok\":false,\"error\":\"Для Linux выберите ключ\",\"certificates\":[]}'; exit 3"
            << "Для Linux выберите ключ";
        QTest::newRow("non-zero exit, its reason before its noise")
            << "echo '{\"ok\":false,\"error\":\" Нет ключей \"}'; echo 'warning: x' >&2; exit 3" << "Нет ключей";
        QTest::newRow("crash after a reason") << "echo '{\"error\":\"Нет ключей\"}'; kill -SEGV $$"
                                              << "Криптопровайдер аварийно завершил поиск сертификатов.";
        QTest::newRow("crash") << "kill -SEGV $$" << "Криптопровайдер аварийно завершил поиск сертификатов.";
        QTest::newRow("crash with a message") << "echo 'провайдер упал' >&2; kill -ABRT $$" << "провайдер упал";
        QTest::newRow("hangs") << "exec sleep 30"
                               << "Поиск сертификатов не ответил за 30 сек. Если сертификатов много или УЦ отвечает "
                                  "медленно, увеличьте таймаут в настройках подписи.";
    }

    void searchFailures()
    {
        QFETCH(QString, body);
        QFETCH(QString, shown);
        // Only the row about the time-out waits for it: a stand-in that
        // answers at once must not race a short limit.
        if (shown.startsWith(QStringLiteral("Поиск сертификатов не ответил"))) {
            QSettings().setValue(QStringLiteral("signing/searchTimeoutSec"), 5);
            SignatureDialog::setSearchSecondMs(kShortSecondMs);
        }
        auto d = dialogWith(body);
        QVERIFY(searchEnded(d.get()));
        QCOMPARE(itemTexts(list(d.get())), QStringList{shown});
        QCOMPARE(list(d.get())->item(0)->flags(), Qt::NoItemFlags);
        QVERIFY(button(d.get(), QStringLiteral("Обновить сертификаты"))->isEnabled());
        QVERIFY(button(d.get(), QStringLiteral("Подписать"))->isEnabled());
        QVERIFY(d->certificates().isEmpty());
    }

    void missingProgram()
    {
        SignatureDialog::Setup setup;
        setup.sourcePath = pdf3;
        setup.children.program = dir.filePath(QStringLiteral("no-such-program"));
        SignatureDialog d(setup, nullptr);
        QVERIFY(searchEnded(&d));
        QCOMPARE(itemTexts(list(&d)), QStringList{QStringLiteral("Не удалось запустить изолированный поиск сертификатов.")});
    }

    // The child gets its own arguments, then this edition's option, and the
    // marker; its temporary files go to a private folder that is removed
    // when the search ends.
    void childArguments()
    {
        const QString seen = dir.filePath(QStringLiteral("seen.txt"));
        const QString temp = dir.filePath(QStringLiteral("temp.txt"));
        SignatureDialog::Setup setup;
        setup.children.editionOption = QStringLiteral("--vorn-product=editor");
        auto d = dialogWith(QStringLiteral("echo \"$* $VORN_CERT_ENUM_WORKER\" > '%1'; echo \"$TMPDIR\" > '%2'; "
                                           "echo x > \"$TMPDIR/vorn_cert_1.pem\"; echo '{}'")
                                .arg(seen, temp),
                            setup);
        QVERIFY(searchEnded(d.get()));
        QCOMPARE(fixtures::readFile(seen).trimmed(), QByteArray("--vorn-cert-list --vorn-product=editor 1"));
        const QString folder = QString::fromUtf8(fixtures::readFile(temp).trimmed());
        QCOMPARE(QFileInfo(folder).absolutePath(), QFileInfo(QDir::tempPath()).absoluteFilePath());
        QVERIFY(!QFileInfo::exists(folder));
    }

    // Key files listed by the child and the key fields go together: the
    // entry shown as chosen is the one the fields sign with (a container
    // before a PEM pair), and picking an entry puts its files in the fields.
    void listedKeyFilesFollowTheFields()
    {
        const QString container = dir.filePath(QStringLiteral("signer.p12"));
        const QString certificate = dir.filePath(QStringLiteral("signer.pem"));
        const QString key = dir.filePath(QStringLiteral("signer.key"));
        QSettings().setValue(QStringLiteral("signing/linux/pkcs12Path"), container);
        QSettings().setValue(QStringLiteral("signing/linux/certificatePath"), certificate);
        QSettings().setValue(QStringLiteral("signing/linux/privateKeyPath"), key);
        const auto answer = [&](bool containerUsable) {
            return answering(listJson({
                certificateJson(QStringLiteral("linux-file|") + container, QStringLiteral("CN=Контейнер"),
                                QStringLiteral("OpenSSL CMS"), QStringLiteral("Файл"), containerUsable),
                certificateJson(QStringLiteral("linux-file|") + certificate, QStringLiteral("CN=Пара PEM"),
                                QStringLiteral("OpenSSL CMS"), QStringLiteral("Файл"), true),
            }));
        };
        auto d = dialogWith(answer(true));
        QVERIFY(searchEnded(d.get()));
        QListWidget* l = list(d.get());
        const auto chosen = [l] {
            return l->currentItem() ? l->currentItem()->text().section(QLatin1Char('\n'), 0, 0) : QString();
        };
        QCOMPARE(chosen(), QStringLiteral("CN=Контейнер"));

        l->setCurrentRow(2);  // the PEM pair: the container no longer takes precedence
        QCOMPARE(chosen(), QStringLiteral("CN=Пара PEM"));
        SignatureDialogInputs in = d->inputs();
        QCOMPARE(in.pkcs12Path, QString());
        QCOMPARE(in.certificatePath, certificate);
        QCOMPARE(in.privateKeyPath, key);

        QList<QLineEdit*> fields;
        for (QGroupBox* box : d->findChildren<QGroupBox*>()) {
            if (box->title() == QStringLiteral("Linux / OpenSSL"))
                fields = box->findChildren<QLineEdit*>();
        }
        fields.at(3)->setText(container);
        QCOMPARE(chosen(), QStringLiteral("CN=Контейнер"));
        fields.at(3)->setText(dir.filePath(QStringLiteral("other.p12")));  // not listed
        QCOMPARE(l->currentRow(), -1);
        fields.at(3)->clear();
        QCOMPARE(chosen(), QStringLiteral("CN=Пара PEM"));

        // An unusable container still signs first: nothing usable is chosen.
        fields.at(3)->setText(container);
        auto unusable = dialogWith(answer(false));
        QVERIFY(searchEnded(unusable.get()));
        QCOMPARE(list(unusable.get())->currentRow(), -1);
        QCOMPARE(unusable->inputs().pkcs12Path, container);
    }

    // The file pickers speak the interface language: their captions and
    // filters come through the translation table.
    void filePickersTranslated_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("which");  // among the buttons of that text
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("filter");
        QTest::newRow("output, English") << "en" << "Куда сохранить..." << 0 << "Сохранить подпись"
                                         << "Файлы подписи (*.sig *.p7m *.p7b);;PDF (*.pdf);;Все файлы (*)";
        QTest::newRow("certificate, English") << "en" << "Обзор..." << 0 << "Выберите сертификат"
                                              << "Сертификаты (*.pem *.crt *.cer);;Все файлы (*)";
        QTest::newRow("key, German") << "de" << "Обзор..." << 1 << "Выберите закрытый ключ"
                                     << "Ключи (*.pem *.key);;Все файлы (*)";
        QTest::newRow("container, English") << "en" << "Обзор..." << 2 << "Выберите P12/PFX контейнер"
                                            << "PKCS#12 (*.p12 *.pfx);;Все файлы (*)";
        QTest::newRow("certificate, Russian") << "ru" << "Обзор..." << 0 << "Выберите сертификат"
                                              << "Сертификаты (*.pem *.crt *.cer);;Все файлы (*)";
    }

    void filePickersTranslated()
    {
        QFETCH(QString, language);
        QFETCH(QString, button);
        QFETCH(int, which);
        QFETCH(QString, caption);
        QFETCH(QString, filter);
        qApp->setProperty("uiLanguage", language);
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        QList<QPushButton*> buttons;
        for (QPushButton* candidate : d->findChildren<QPushButton*>()) {
            if (candidate->text() == button)
                buttons << candidate;
        }
        QVERIFY(which < buttons.size());
        prompt::Driver prompts;
        QString title;
        QStringList filters;
        prompts.whenShown([&](QDialog* shown) {
            if (auto* picker = qobject_cast<QFileDialog*>(shown)) {
                title = picker->windowTitle();
                filters = picker->nameFilters();
            }
            shown->reject();
        });
        buttons.at(which)->click();
        qApp->setProperty("uiLanguage", QVariant());
        QCOMPARE(prompts.pending(), 0);
        qApp->setProperty("uiLanguage", language);
        const QString wantedTitle = uiTranslate(caption);
        const QString wantedFilter = uiTranslate(filter);
        qApp->setProperty("uiLanguage", QVariant());
        QCOMPARE(title, wantedTitle);
        QCOMPARE(filters.join(QStringLiteral(";;")), wantedFilter);
        QCOMPARE(title == caption, language == QLatin1String("ru"));
    }

    void listSectionsFilterAndSelection()
    {
        const QByteArray json = listJson({
            certificateJson(QStringLiteral("a"), QStringLiteral("CN=Петров"), QStringLiteral("OpenSSL CMS"),
                            QStringLiteral("Файл"), true),
            certificateJson(QStringLiteral("b"), QStringLiteral("CN=Сидоров"), QStringLiteral("Rutoken ECP"),
                            QString(), true),
            certificateJson(QStringLiteral("c"), QStringLiteral("CN=Иванов"), QStringLiteral("OpenSSL CMS"),
                            QStringLiteral("Файл"), true),
            certificateJson(QStringLiteral("d"), QStringLiteral("CN=Старый"), QStringLiteral("OpenSSL CMS"),
                            QStringLiteral("Файл"), false),
        });
        auto d = dialogWith(answering(json));
        QVERIFY(searchEnded(d.get()));
        QListWidget* l = list(d.get());
        // Families by name (Latin before Cyrillic), certificates in list order.
        QCOMPARE(itemTexts(l), (QStringList{QStringLiteral("Доступные — Rutoken / ЭЦП-флешка"), QStringLiteral("CN=Сидоров"),
                                            QStringLiteral("Доступные — Файловый сертификат / OpenSSL"),
                                            QStringLiteral("CN=Петров"), QStringLiteral("CN=Иванов"),
                                            QStringLiteral("Недоступные — Файловый сертификат / OpenSSL"),
                                            QStringLiteral("CN=Старый")}));
        QCOMPARE(l->currentRow(), 1);
        QVERIFY(l->item(6)->text().endsWith(QStringLiteral("Недоступен: причина не определена")));
        QCOMPARE(l->item(6)->flags(), Qt::NoItemFlags);
        QVERIFY(l->item(1)->text().contains(QStringLiteral("Действует до: 05.01.2030 · RSA 2048 · Rutoken ECP")));

        // The choice stays across a filter change and a new search.
        l->setCurrentRow(4);
        auto* filter = d->findChild<QLineEdit*>(QStringLiteral("DialogLineEdit"));
        for (QLineEdit* field : d->findChildren<QLineEdit*>()) {
            if (field->placeholderText().startsWith(QStringLiteral("Поиск")))
                filter = field;
        }
        filter->setText(QStringLiteral("  ИВАН "));
        QCOMPARE(itemTexts(l), (QStringList{QStringLiteral("Доступные — Файловый сертификат / OpenSSL"),
                                            QStringLiteral("CN=Иванов")}));
        filter->setText(QStringLiteral("ab12"));  // the serial, either case
        QCOMPARE(l->count(), 7);
        QCOMPARE(l->currentItem()->data(Qt::UserRole).toString(), QStringLiteral("c"));
        button(d.get(), QStringLiteral("Обновить сертификаты"))->click();
        QVERIFY(!button(d.get(), QStringLiteral("Подписать"))->isEnabled());
        QVERIFY(searchEnded(d.get()));
        QCOMPARE(l->currentItem()->data(Qt::UserRole).toString(), QStringLiteral("c"));

        filter->setText(QStringLiteral("zzz"));
        QCOMPARE(itemTexts(l), QStringList{QStringLiteral("Сертификаты не найдены по фильтру.")});
        filter->clear();
        d->findChild<QCheckBox*>()->setChecked(false);
        QCOMPARE(l->count(), 5);
    }

    // Names as the clerk reads them: the format's escapes undone in the
    // entry and in what the filter looks through.
    void listedNames_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("filter");
        QTest::newRow("quotes and Cyrillic") << "C=RU,O=ООО \\\"Ромашка\\\",CN=Иванов Иван"
                                             << "C=RU,O=ООО \"Ромашка\",CN=Иванов Иван" << "\"ромашка\"";
        QTest::newRow("escaped UTF-8 and comma") << "CN=\\D0\\AF\\, \\D0\\AF" << "CN=Я, Я" << "я, я";
    }

    void listedNames()
    {
        QFETCH(QString, subject);
        QFETCH(QString, shown);
        QFETCH(QString, filter);
        QJsonObject entry = certificateJson(QStringLiteral("a"), subject, QStringLiteral("OpenSSL CMS"),
                                            QStringLiteral("Файл"), true);
        entry.insert(QStringLiteral("issuer"), subject);
        auto d = dialogWith(answering(listJson({entry})));
        QVERIFY(searchEnded(d.get()));
        QListWidget* l = list(d.get());
        QCOMPARE(l->count(), 2);
        QCOMPARE(l->item(1)->text().section(QLatin1Char('\n'), 0, 1),
                 shown + QStringLiteral("\nИздатель: ") + shown);
        for (QLineEdit* field : d->findChildren<QLineEdit*>()) {
            if (field->placeholderText().startsWith(QStringLiteral("Поиск")))
                field->setText(filter);
        }
        QCOMPARE(itemTexts(l).value(1), shown);
    }

    // The list is filled after the dialog was translated: its headers, lines
    // and notes still come in the interface language.
    void listTranslated_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << "en";
        QTest::newRow("German") << "de";
        QTest::newRow("Ukrainian") << "uk";
        QTest::newRow("Russian") << "ru";
    }

    void listTranslated()
    {
        QFETCH(QString, language);
        qApp->setProperty("uiLanguage", language);
        auto d = dialogWith(answering(listJson({
            certificateJson(QStringLiteral("a"), QStringLiteral("CN=Petrov"), QStringLiteral("OpenSSL CMS"),
                            QStringLiteral("Файл"), true),
            certificateJson(QStringLiteral("d"), QStringLiteral("CN=Old"), QStringLiteral("OpenSSL CMS"),
                            QStringLiteral("Файл"), false),
        })));
        d->show();
        const bool ended = searchEnded(d.get());
        QListWidget* l = list(d.get());
        const QStringList texts = itemTexts(l);
        const QString family = uiTranslate(QStringLiteral("Файловый сертификат / OpenSSL"));
        const QStringList wanted{uiTranslate(QStringLiteral("Доступные")) + QStringLiteral(" — ") + family,
                                 QStringLiteral("CN=Petrov"),
                                 uiTranslate(QStringLiteral("Недоступные")) + QStringLiteral(" — ") + family,
                                 QStringLiteral("CN=Old")};
        const QString issuer = uiTranslate(QStringLiteral("Издатель: %1")).arg(QStringLiteral("CN=Issuer"));
        const QString reason = uiTranslate(QStringLiteral("Недоступен: %1"))
                                   .arg(uiTranslate(QStringLiteral("причина не определена")));
        const QString firstCertificate = l->count() == 4 ? l->item(1)->text() : QString();
        const QString lastItem = l->count() == 4 ? l->item(3)->text() : QString();
        const QString placeholder = QStringLiteral("Поиск по владельцу, издателю, провайдеру, контейнеру...");
        QLineEdit* filter = nullptr;
        for (QLineEdit* field : d->findChildren<QLineEdit*>()) {
            if (field->placeholderText() == placeholder || field->placeholderText() == uiTranslate(placeholder))
                filter = field;
        }
        if (filter)
            filter->setText(QStringLiteral("zzz"));
        const QStringList filtered = itemTexts(l);
        const QString nothingFound = uiTranslate(QStringLiteral("Сертификаты не найдены по фильтру."));
        qApp->setProperty("uiLanguage", QVariant());
        QVERIFY(ended);
        QCOMPARE(texts, wanted);
        QVERIFY(firstCertificate.contains(issuer));
        QVERIFY(lastItem.endsWith(reason));
        QVERIFY(filter);
        QCOMPARE(filtered, QStringList{nothingFound});
        QCOMPARE(wanted.first().startsWith(QStringLiteral("Доступные")), language == QLatin1String("ru"));
        QCOMPARE(issuer.startsWith(QStringLiteral("Издатель")), language == QLatin1String("ru"));
    }

    // The subtitle follows the dialog's width and the busy cover comes with a
    // run: both long after the dialog was translated, both in its language.
    void laterTextsTranslated_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("busyText");
        QTest::newRow("German, own text") << "de" << "Подготавливаю документ...";
        QTest::newRow("English, default text") << "en" << "";
        QTest::newRow("Russian") << "ru" << "";
    }

    void laterTextsTranslated()
    {
        QFETCH(QString, language);
        QFETCH(QString, busyText);
        qApp->setProperty("uiLanguage", language);
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        d->show();
        d->resize(d->width() + 40, d->height());
        QTest::qWait(50);
        QLabel* subtitle = nullptr;
        for (QLabel* shown : d->findChildren<QLabel*>(QStringLiteral("DialogSubtitle"))) {
            if (shown->text().endsWith(QFileInfo(pdf3).fileName()))
                subtitle = shown;
        }
        const QString wantedSubtitle = uiTranslate(QStringLiteral("Файл: %1")).arg(QFileInfo(pdf3).fileName());
        d->setSigningBusy(true, busyText);
        QStringList titles;
        for (QLabel* shown : d->findChildren<QLabel*>(QStringLiteral("DialogTitle"))) {
            if (shown->isVisible())
                titles << shown->text();
        }
        const QString busySource = busyText.isEmpty() ? QStringLiteral("Подписываю документ...") : busyText;
        const QString wantedBusy = uiTranslate(busySource);
        d->setSigningBusy(false, QString());
        qApp->setProperty("uiLanguage", QVariant());
        QVERIFY(subtitle);
        QCOMPARE(subtitle->text(), wantedSubtitle);
        QVERIFY2(titles.contains(wantedBusy), qPrintable(titles.join(QLatin1Char('|'))));
        QCOMPARE(wantedBusy != busySource, language != QLatin1String("ru"));
    }

    void onlyUnavailableHidden()
    {
        auto d = dialogWith(answering(listJson({certificateJson(QStringLiteral("d"), QStringLiteral("CN=Старый"),
                                                                 QString(), QString(), false, QStringLiteral("отозван"))})));
        QVERIFY(searchEnded(d.get()));
        QVERIFY(list(d.get())->item(1)->text().endsWith(QStringLiteral("Недоступен: отозван")));
        QCOMPARE(list(d.get())->currentRow(), -1);
        for (QCheckBox* box : d->findChildren<QCheckBox*>()) {
            if (box->text() == QStringLiteral("Показывать недоступные"))
                box->setChecked(false);
        }
        QCOMPARE(itemTexts(list(d.get())), QStringList{QStringLiteral("Сертификаты не найдены.")});
    }

    // A second search is not started while one runs.
    void oneSearchAtATime()
    {
        const QString count = dir.filePath(QStringLiteral("count.txt"));
        QFile::remove(count);
        auto d = dialogWith(QStringLiteral("echo x >> '%1'; sleep 0.3; echo '{}'").arg(count));
        d->startCertificateSearch();
        d->startCertificateSearch();
        QVERIFY(searchEnded(d.get()));
        QCOMPARE(fixtures::readFile(count), QByteArray("x\n"));
    }

    void defaultsPerMode()
    {
        const QString existing = pdf3 + QStringLiteral(".sig");
        windowtest::writeFixture(dir, QStringLiteral("act.pdf.sig"), "old");
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        QVERIFY(searchEnded(d.get()));
        QComboBox* mode = modeBox(d.get());
        QVERIFY(mode);
        const QString base = QFileInfo(pdf3).absolutePath() + QStringLiteral("/act");
        // A stamped signature is named after the stamped copy, which it signs.
        const QString stamped = stampedPdfPathForSignature(pdf3, existing);
        const QStringList outputs{base + QStringLiteral(".pdf (1).sig"), base + QStringLiteral(".p7m"),
                                  base + QStringLiteral(".pdf (1).sig"), stamped + QStringLiteral(".sig"),
                                  base + QStringLiteral(".signed.pdf")};
        d->show();
        for (int m = 0; m < 5; ++m) {
            d->setOutputPath(QStringLiteral("/typed/by/user.sig"));
            mode->setCurrentIndex(m);
            if (m == 0)
                mode->currentIndexChanged(0);
            QCOMPARE(d->inputs().outputPath, outputs.at(m));
            QCOMPARE(group(d.get(), QStringLiteral("Штамп времени TSA"))->isVisible(), m == 2);
            QCOMPARE(group(d.get(), QStringLiteral("Видимый штамп PDF"))->isVisible(), m == 3);
        }
        // An earlier stamped copy is kept: the next one and its signature take a free name.
        windowtest::writeFixture(dir, QFileInfo(stamped).fileName(), "earlier");
        mode->setCurrentIndex(0);
        mode->setCurrentIndex(3);
        QCOMPARE(d->inputs().outputPath, stamped.chopped(4) + QStringLiteral(" (1).pdf.sig"));
        QFile::remove(stamped);
        QFile::remove(existing);
    }

    void stampPages()
    {
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        auto* page = d->findChild<QSpinBox*>(QStringLiteral("ScanSpin"));
        QCOMPARE(page->maximum(), 3);
        QCOMPARE(page->value(), 3);
        page->setValue(2);
        modeBox(d.get())->setCurrentIndex(3);
        modeBox(d.get())->setCurrentIndex(0);
        modeBox(d.get())->setCurrentIndex(3);
        QCOMPARE(page->value(), 2);
        QCOMPARE(d->inputs().stampPage, 2);

        // The open document's count wins for its own file; a non-PDF has one page.
        SignatureDialog::Setup open;
        open.openDocumentPath = pdf3;
        open.openDocumentPageCount = 7;
        QCOMPARE(dialogWith(QStringLiteral("echo '{}'"), open)->stampPageCount(), 7);
        SignatureDialog::Setup text;
        text.sourcePath = windowtest::writeFixture(dir, QStringLiteral("notes.txt"), "hello");
        QCOMPARE(dialogWith(QStringLiteral("echo '{}'"), text)->stampPageCount(), 1);
        SignatureDialog::Setup broken;
        broken.sourcePath = windowtest::writeFixture(dir, QStringLiteral("broken.pdf"), "%PDF-1.4 junk");
        QCOMPARE(dialogWith(QStringLiteral("echo '{}'"), broken)->stampPageCount(), 1);
    }

    // The wheel over a stamp control changes it only once it has the focus:
    // scrolling over the form keeps the batch's stamp settings.
    void wheelNeedsFocus_data()
    {
        QTest::addColumn<int>("control");  // 0 page, 1 position, 2 width, 3 template
        QTest::addColumn<bool>("focused");
        QTest::newRow("page, unfocused") << 0 << false;
        QTest::newRow("position, unfocused") << 1 << false;
        QTest::newRow("width, unfocused") << 2 << false;
        QTest::newRow("template, unfocused") << 3 << false;
        QTest::newRow("page, focused") << 0 << true;
        QTest::newRow("position, focused") << 1 << true;
    }

    void wheelNeedsFocus()
    {
        QFETCH(int, control);
        QFETCH(bool, focused);
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        modeBox(d.get())->setCurrentIndex(3);
        d->show();
        QVERIFY(QTest::qWaitForWindowActive(d.get()));
        QGroupBox* stampGroup = group(d.get(), QStringLiteral("Видимый штамп PDF"));
        QVERIFY(stampGroup);
        const QList<QComboBox*> boxes = stampGroup->findChildren<QComboBox*>();  // position, template
        QWidget* stampControls[] = {stampGroup->findChild<QSpinBox*>(QStringLiteral("ScanSpin")), boxes.value(0),
                                    stampGroup->findChild<QDoubleSpinBox*>(), boxes.value(1)};
        QWidget* target = stampControls[control];
        QVERIFY(target);
        auto* templates = qobject_cast<QComboBox*>(stampControls[3]);
        if (templates && templates->count() < 2)
            templates->addItem(QStringLiteral("another"), QStringLiteral("another"));
        const auto stamp = [&d] {
            const SignatureDialogInputs in = d->inputs();
            return QStringList{QString::number(in.stampPage), in.stampPosition, QString::number(in.stampWidthMm),
                               in.stampTemplateId};
        };
        if (focused) {
            target->setFocus();
            QTRY_VERIFY(target->hasFocus());
        }
        const QStringList before = stamp();
        const QPointF centre = QRectF(target->rect()).center();
        QWheelEvent down(centre, target->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &down);
        QCOMPARE(stamp() != before, focused);
    }

    // The template box after the editor: the returned template is chosen, a
    // template that went is replaced by the first, and previews fill in later.
    void templateBox()
    {
        const QStringList ids = storeTemplates({QStringLiteral("Отдел кадров"), QStringLiteral("Бухгалтерия")});
        QCOMPARE(ids.size(), 2);
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        QComboBox* box = stamptest::templateBox(d.get());
        QVERIFY(box);
        QCOMPARE(box->count(), 3);
        d->reloadStampTemplateCombo(ids.at(0));
        QCOMPARE(box->currentData().toString(), ids.at(0));
        d->reloadStampTemplateCombo(QString());  // keeps the current one
        QCOMPARE(box->currentData().toString(), ids.at(0));
        QVERIFY(QDir(signatureStampTemplatesDir()).removeRecursively());
        d->reloadStampTemplateCombo(ids.at(1));
        QCOMPARE(box->count(), 1);
        QCOMPARE(box->currentIndex(), 0);
        QTRY_VERIFY(stamptest::previewDrawn(box->itemIcon(0)));
    }

    // Template previews are drawn on demand: the chosen row's at once, any
    // other when it is chosen (or shown in the open list), never all.
    void templatePreviewsOnDemand()
    {
        QStringList names;
        for (int i = 0; i < 12; ++i)
            names << QStringLiteral("Шаблон %1").arg(i, 2, 10, QLatin1Char('0'));
        QCOMPARE(storeTemplates(names).size(), 12);
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        QComboBox* box = stamptest::templateBox(d.get());
        QVERIFY(box);
        const auto drawn = [box](int row) { return stamptest::previewDrawn(box->itemIcon(row)); };
        QCOMPARE(box->count(), 13);
        QTRY_VERIFY(drawn(0));
        for (int row = 1; row < box->count(); ++row)
            QVERIFY2(!drawn(row), qPrintable(QString::number(row)));
        box->setCurrentIndex(7);
        QVERIFY(drawn(7));
        QVERIFY(!drawn(6));
        QDir(signatureStampTemplatesDir()).removeRecursively();
    }

    // "Диагностика" tells of this machine only: the certificates the list
    // holds (unavailable ones too, none before the search has ended), the
    // OpenSSL line and the Linux providers, never a Windows store or its
    // native signing.
    void diagnosticsOfThisPlatform_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("counted");
        QTest::newRow("search still running") << QByteArray() << "0";
        QTest::newRow("none found") << listJson({}) << "0";
        QTest::newRow("three found, one unavailable")
            << listJson({certificateJson(QStringLiteral("a"), QStringLiteral("CN=Петров"), QStringLiteral("OpenSSL CMS"),
                                         QStringLiteral("Файл"), true),
                         certificateJson(QStringLiteral("b"), QStringLiteral("CN=Сидоров"),
                                         QStringLiteral("Rutoken ECP"), QString(), true),
                         certificateJson(QStringLiteral("c"), QStringLiteral("CN=Старый"), QStringLiteral("OpenSSL CMS"),
                                         QStringLiteral("Файл"), false)})
            << "3";
    }

    void diagnosticsOfThisPlatform()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, counted);
        auto d = dialogWith(answer.isEmpty() ? QStringLiteral("exec sleep 30") : answering(answer));
        if (!answer.isEmpty())
            QVERIFY(searchEnded(d.get()));
        d->show();
        prompt::Driver prompts;
        QString noted;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &noted);
        QPushButton* diagnostics = button(d.get(), QStringLiteral("Диагностика"));
        QVERIFY(diagnostics && diagnostics->isEnabled());
        diagnostics->click();
        QCOMPARE(prompts.pending(), 0);
        QCOMPARE(noted.section(QLatin1Char('|'), 0, 0), QStringLiteral("Диагностика подписи"));
        const QStringList lines = noted.section(QLatin1Char('|'), 1).split(QLatin1Char('\n'));
        QCOMPARE(lines.value(0), QStringLiteral("Найдено сертификатов для подписи: ") + counted);
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^OpenSSL CMS: \\S"))).size(), 1);
        QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^PKCS#11 модули: \\S"))).size(), 1);
        for (const QString& line : lines) {
            for (const QString& foreign : {QStringLiteral("Windows"), QStringLiteral("Store"),
                                           QStringLiteral("Нативное"), QStringLiteral("CAdESCOM")})
                QVERIFY2(!line.contains(foreign, Qt::CaseInsensitive), qPrintable(line));
        }
    }

    void busyState()
    {
        auto d = dialogWith(QStringLiteral("echo '{}'"));
        QVERIFY(searchEnded(d.get()));
        d->show();
        modeBox(d.get())->setCurrentIndex(2);
        d->setSigningBusy(true, QString());
        auto* overlay = d->findChild<QFrame*>(QStringLiteral("SignatureBusyOverlay"));
        QVERIFY(overlay->isVisible());
        for (const QString& text : {QStringLiteral("Подписать"), QStringLiteral("Диагностика"),
                                    QStringLiteral("Обновить сертификаты")})
            QVERIFY2(!button(d.get(), text)->isEnabled(), qPrintable(text));
        // A run can be stopped: "Отмена" on the overlay, over the dialog's own.
        for (QPushButton* cancel : d->findChildren<QPushButton*>()) {
            if (cancel->text() == QStringLiteral("Отмена"))
                QVERIFY(cancel->isEnabled());
        }
        QPushButton* overlayCancel = nullptr;
        for (QPushButton* candidate : overlay->findChildren<QPushButton*>())
            overlayCancel = candidate->text() == QStringLiteral("Отмена") ? candidate : overlayCancel;
        QVERIFY(overlayCancel && overlayCancel->isVisible());
        QVERIFY(!group(d.get(), QStringLiteral("Штамп времени TSA"))->isEnabled());
        QVERIFY(!group(d.get(), QStringLiteral("Режим подписи"))->isEnabled());
        d->setSigningBusy(false, QString());
        QVERIFY(!overlay->isVisible());
        QVERIFY(button(d.get(), QStringLiteral("Подписать"))->isEnabled());
        QVERIFY(group(d.get(), QStringLiteral("Штамп времени TSA"))->isEnabled());
        QVERIFY(!group(d.get(), QStringLiteral("Видимый штамп PDF"))->isEnabled());
    }

    void hintsAndFileLists()
    {
        // The source twice, a missing file and a folder: one further file.
        MainWindow window(AppProduct::editor);
        const QString second = windowtest::writePdf(dir, QStringLiteral("second.pdf"), 1);
        window.setSigningWorkerProgram(standin::script(dir, QStringLiteral("echo '{}'")));
        QString hint;
        QString subtitle;
        prompt::Driver prompts;
        prompts.whenShown([&hint, &subtitle](QDialog* dialog) {
            for (QLabel* l : dialog->findChildren<QLabel*>(QStringLiteral("DialogHint"))) {
                if (l->text().startsWith(QStringLiteral("После")))
                    hint = l->text();
            }
            subtitle = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
            dialog->reject();
        });
        window.showSignatureDialog(false, {pdf3, second, pdf3, dir.filePath(QStringLiteral("missing.pdf")), dir.path()},
                                   {QStringLiteral("a.txt"), QStringLiteral(" "), QStringLiteral("b.txt"),
                                    QStringLiteral("a.txt"), QStringLiteral("c.doc")},
                                   QStringLiteral("  ") + pdf3 + QStringLiteral("  "));
        QCOMPARE(hint, QStringLiteral("После первого файла можно будет подписать ещё 1 файл(ов) теми же настройками. "
                                      "Непохожие на PDF файлы будут пропущены: 3."));
        QCOMPARE(subtitle, QStringLiteral("Файл: act.pdf"));
    }

    void preconditions_data()
    {
        QTest::addColumn<int>("product");
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("noted");
        QTest::newRow("viewer") << int(AppProduct::viewer) << QString()
                                << "Подписание документа|Подписание ЭЦП недоступно в этой версии программы.";
        QTest::newRow("no document") << int(AppProduct::editor) << QString()
                                     << "Подписание документа|Откройте документ, который нужно подписать.";
        QTest::newRow("blank override") << int(AppProduct::ecp) << "   "
                                        << "Подписание документа|Откройте документ, который нужно подписать.";
        QTest::newRow("missing override") << int(AppProduct::editor) << "/no/such/file.pdf"
                                          << "Подписание документа|Откройте документ, который нужно подписать.";
    }

    void preconditions()
    {
        QFETCH(int, product);
        QFETCH(QString, override);
        QFETCH(QString, noted);
        MainWindow window{AppProduct(product)};
        prompt::Driver prompts;
        QString seen;
        prompt::answerNoting(prompts, QStringLiteral("OK"), &seen);
        window.showSignatureDialog(false, {}, {}, override);
        QTRY_COMPARE(seen, noted);
    }

    // A missing override falls back to the open document.
    void overrideFallsBackToDocument()
    {
        MainWindow window(AppProduct::editor);
        window.openFile(pdf3);
        window.setSigningWorkerProgram(standin::script(dir, QStringLiteral("echo '{}'")));
        prompt::Driver prompts;
        QString subtitle;
        prompts.whenShown([&subtitle](QDialog* dialog) {
            subtitle = dialog->findChild<QLabel*>(QStringLiteral("DialogSubtitle"))->text();
            dialog->reject();
        });
        window.showSignatureDialog(false, {}, {}, dir.filePath(QStringLiteral("gone.pdf")));
        QCOMPARE(subtitle, QStringLiteral("Файл: act.pdf"));
    }
};

QTEST_MAIN(TestSignatureDialog)
#include "tst_signaturedialog.moc"
