#include "StartupPlan.h"

#include "CompressionWorkerCli.h"
#include "RevocationCheckCli.h"
#include "SigningWorkerCli.h"

#include <array>

namespace {

constexpr int kDefaultPreloaderStepMs = 120;
constexpr int kModeArgumentIndex = 1;
constexpr int kShellFilesIndex = 2;
constexpr auto kShellActionPrefix = "--vorn-shell-";

struct WorkerOption {
    const char* option;
    WorkerRunner run;
};

int runCertificateListWorker(const QStringList&)
{
    return runCertificateListCli();
}

// Compared in this order.
constexpr std::array<WorkerOption, 5> kWorkerOptions{{
    {"--vorn-compression-estimate", runCompressionEstimateCli},
    {"--vorn-compression-fit", runCompressionFitCli},
    {"--vorn-cert-revocation-check", runCertificateRevocationCheckCli},
    {"--vorn-cert-list", runCertificateListWorker},
    {"--vorn-sign-file", runSignatureCli},
}};

constexpr std::array<const char*, 3> kShellActionOptions{
    "--vorn-shell-merge", "--vorn-shell-compress", "--vorn-shell-sign"};

WorkerRunner workerFor(const QString& modeArgument)
{
    for (const WorkerOption& worker : kWorkerOptions) {
        if (modeArgument == QLatin1String(worker.option))
            return worker.run;
    }
    return nullptr;
}

QString shellActionFor(const QString& modeArgument)
{
    for (const char* option : kShellActionOptions) {
        if (modeArgument == QLatin1String(option))
            return modeArgument.mid(qsizetype(qstrlen(kShellActionPrefix)));
    }
    return {};
}

QStringList argumentsWithoutProductOptions(const QStringList& arguments)
{
    QStringList kept;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (!isProductOption(arguments.at(i)))
            kept << arguments.at(i);
    }
    return kept;
}

} // namespace

StartupPlan planStartup(const QStringList& arguments)
{
    StartupPlan plan;
    plan.product = productFromArguments(arguments);
    const QString modeArgument = arguments.value(kModeArgumentIndex);

    if (arguments.size() > kModeArgumentIndex) {
        plan.worker = workerFor(modeArgument);
        if (plan.worker) {
            plan.start = StartKind::Worker;
            return plan;
        }
        plan.shellAction = shellActionFor(modeArgument);
    }

    if (!plan.shellAction.isEmpty()) {
        plan.start = StartKind::FileManagerAction;
        plan.files = arguments.mid(kShellFilesIndex);
    } else if (plan.product == AppProduct::ecp) {
        plan.start = StartKind::EcpSigning;
        plan.files = argumentsWithoutProductOptions(arguments);
    } else {
        plan.start = StartKind::Windowed;
        plan.files = argumentsWithoutProductOptions(arguments).mid(0, 1);
        plan.showSplash = true;
    }
    return plan;
}

int preloaderStepMs(const QByteArray& environmentValue)
{
    bool ok = false;
    const int value = environmentValue.toInt(&ok, 10);
    return ok && value >= 0 ? value : kDefaultPreloaderStepMs;
}
