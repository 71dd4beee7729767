// A sweep of pages put in from other files: in each PDF under the folders
// given, the first page carrying annotations other than links, the first
// drawing in a layer of the file's optional content and the first carrying
// an attached file are each put into a one-page host (a scan) and saved;
// then put in again, their first block of text edited, and saved. Prints a
// line a page and the totals: saved, or refused and why; and what the saved
// put-in pages lost against the pages they came from: words poppler or mupdf
// read on the source page and not on the copy, words they read on the copy
// and not on the source (what a layer hides, shown), annotations and the
// bytes of attached files, as qpdf reads them. At most PAGES pages are taken
// of each kind, in the order of the files' paths.
// Usage: putinsweep_bench HOST FOLDER... [--limit PAGES] [--links]
//   --links   pages whose only annotations are links count as annotated too
#include "PdfDocument.h"
#include "TextBlock.h"

#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <map>
#include <set>

namespace {

constexpr int kDefaultLimit = 400;
constexpr qint64 kLargestFile = 60 * 1024 * 1024;  // larger files are passed over: the sweep would take hours

// What a page carries that pdfium's own page copy used to lose.
struct Candidate {
    QString file;
    int page = 0;
    QStringList kinds;  // "annotations", "layers", "attachments"
};

bool drawsInLayer(QPDFObjectHandle page)
{
    QPDFObjectHandle resources = QPDFPageObjectHelper(page).getAttribute("/Resources", false);
    if (!resources.isDictionary())
        return false;
    QPDFObjectHandle properties = resources.getKey("/Properties");
    if (properties.isDictionary() && !properties.getKeys().empty())
        return true;
    QPDFObjectHandle forms = resources.getKey("/XObject");
    for (const std::string& name : forms.isDictionary() ? forms.getKeys() : std::set<std::string>()) {
        QPDFObjectHandle form = forms.getKey(name);
        if (form.isStream() && form.getDict().hasKey("/OC"))
            return true;
    }
    return false;
}

// The first page of each kind in the file; none where qpdf cannot read it
// or it needs a password.
std::vector<Candidate> candidatesOf(const QString& file, bool links)
{
    std::vector<Candidate> found;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(file.toLocal8Bit().constData());
        const bool layered = pdf.getRoot().getKey("/OCProperties").isDictionary();
        std::set<QString> taken;
        std::map<int, QStringList> byPage;
        std::vector<QPDFObjectHandle> pages = pdf.getAllPages();
        for (size_t index = 0; index < pages.size() && taken.size() < 3; ++index) {
            QPDFObjectHandle annots = pages[index].getKey("/Annots");
            bool annotated = false, attached = false;
            for (QPDFObjectHandle annot : annots.isArray() ? annots.getArrayAsVector() : std::vector<QPDFObjectHandle>()) {
                if (!annot.isDictionary())
                    continue;
                annotated = annotated || links || !annot.getKey("/Subtype").isNameAndEquals("/Link");
                attached = attached || annot.getKey("/Subtype").isNameAndEquals("/FileAttachment");
            }
            const std::pair<bool, QString> kinds[] = {{annotated, QStringLiteral("annotations")},
                                                      {layered && drawsInLayer(pages[index]), QStringLiteral("layers")},
                                                      {attached, QStringLiteral("attachments")}};
            for (const auto& [has, kind] : kinds)
                if (has && taken.insert(kind).second)
                    byPage[int(index)] << kind;
        }
        for (const auto& [page, kinds] : byPage)
            found.push_back({file, page, kinds});
    } catch (const std::exception&) {
    }
    return found;
}

QStringList popplerWords(const QString& pdf, int page)
{
    QProcess p;
    const QString number = QString::number(page + 1);
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-f"), number, QStringLiteral("-l"), number, pdf,
                                          QStringLiteral("-")});
    if (!p.waitForFinished(120000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

QStringList mupdfWords(const QString& pdf, int page)
{
    QProcess p;
    p.start(QStringLiteral("mutool"), {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-F"),
                                       QStringLiteral("txt"), QStringLiteral("-o"), QStringLiteral("-"), pdf,
                                       QString::number(page + 1)});
    if (!p.waitForFinished(120000))
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// Words of a not in b, each as often as a holds it more.
int wordsMissing(const QStringList& a, const QStringList& b)
{
    QMap<QString, int> counts;
    for (const QString& word : b)
        ++counts[word];
    int missing = 0;
    for (const QString& word : a)
        if (counts[word]-- <= 0)
            ++missing;
    return missing;
}

// A page's annotations by kind, and the digests of the files they carry, as qpdf reads them.
struct Carried {
    QMap<QString, int> annotations;
    std::multiset<QByteArray> files;
};

Carried carriedBy(const QString& pdf, int page)
{
    Carried carried;
    try {
        QPDF file;
        file.setSuppressWarnings(true);
        file.processFile(pdf.toLocal8Bit().constData());
        std::vector<QPDFObjectHandle> pages = file.getAllPages();
        QPDFObjectHandle annots = pages.at(size_t(page)).getKey("/Annots");
        for (QPDFObjectHandle annot : annots.isArray() ? annots.getArrayAsVector() : std::vector<QPDFObjectHandle>()) {
            if (!annot.isDictionary())
                continue;
            QPDFObjectHandle kind = annot.getKey("/Subtype");
            ++carried.annotations[QString::fromStdString(kind.isName() ? kind.getName() : std::string("?"))];
            QPDFObjectHandle stream = annot.getKey("/FS").getKey("/EF").getKey("/F");
            if (stream.isStream()) {
                const std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_generalized);
                carried.files.insert(QCryptographicHash::hash(
                    QByteArrayView(reinterpret_cast<const char*>(data->getBuffer()), qsizetype(data->getSize())),
                    QCryptographicHash::Sha1));
            }
        }
    } catch (const std::exception&) {
    }
    return carried;
}

// The first block of the page with text, its text written anew as the
// in-place editor leaves it.
bool editFirstBlock(PdfDocument& doc, int page)
{
    std::vector<TextBlock> blocks = doc.extractText(page);
    for (TextBlock& block : blocks) {
        if (block.isImage || block.text.trimmed().isEmpty())
            continue;
        block.text = QStringLiteral("Правка ") + block.text;
        block.textEdited = true;
        return doc.overlayOcrText(page, blocks, false);
    }
    return true;  // nothing to edit: the page is saved as put in
}

// The reason without its page numbers and names, so that alike reasons count together.
QString reasonKind(const QString& reason)
{
    QString kind = reason;
    kind.replace(QRegularExpression(QStringLiteral("\\d+")), QStringLiteral("N"));
    kind.replace(QRegularExpression(QStringLiteral("«[^»]*»")), QStringLiteral("«…»"));
    kind.replace(QRegularExpression(QStringLiteral("/\\S+")), QStringLiteral("/…"));
    return kind.left(160);
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    int limit = kDefaultLimit;
    const qsizetype limitAt = arguments.indexOf(QStringLiteral("--limit"));
    if (limitAt >= 0 && limitAt + 1 < arguments.size()) {
        limit = arguments[limitAt + 1].toInt();
        arguments.remove(limitAt, 2);
    }
    const bool links = arguments.removeAll(QStringLiteral("--links")) > 0;
    QTextStream out(stdout);
    if (arguments.size() < 2) {
        out << "usage: putinsweep_bench HOST FOLDER... [--limit PAGES] [--links]\n";
        return 2;
    }
    const QString host = arguments.takeFirst();
    std::vector<Candidate> candidates;
    for (const QString& folder : arguments) {
        QDirIterator files(folder, {QStringLiteral("*.pdf")}, QDir::Files, QDirIterator::Subdirectories);
        QStringList names;
        while (files.hasNext())
            names << files.next();
        names.sort();
        QMap<QString, int> taken;
        for (const QString& file : names) {
            if (QFileInfo(file).size() > kLargestFile)
                continue;
            for (const Candidate& candidate : candidatesOf(file, links)) {
                if (std::all_of(candidate.kinds.begin(), candidate.kinds.end(),
                                [&](const QString& kind) { return taken.value(kind) >= limit; }))
                    continue;
                for (const QString& kind : candidate.kinds)
                    ++taken[kind];
                candidates.push_back(candidate);
            }
        }
    }
    QTemporaryDir scratch;
    const QString plainPath = scratch.filePath(QStringLiteral("plain.pdf"));
    const QString editedPath = scratch.filePath(QStringLiteral("edited.pdf"));
    QMap<QString, int> tried, plainSaved, editedSaved, refusals;
    int popplerLost = 0, mupdfLost = 0, popplerShown = 0, mupdfShown = 0, annotationsLost = 0, filesLost = 0;
    int pagesLosing = 0, editsUnread = 0;
    for (const Candidate& candidate : candidates) {
        const QString name = QDir(arguments.first()).relativeFilePath(candidate.file);
        out << name << " p" << candidate.page + 1 << " [" << candidate.kinds.join(QLatin1Char(',')) << "]: ";
        for (const QString& kind : candidate.kinds)
            ++tried[kind];
        PdfDocument plain;
        QString refusal;
        if (!plain.open(host))
            refusal = QStringLiteral("host: ") + plain.lastError();
        else if (!plain.appendPage(candidate.file, candidate.page) || !plain.saveAs(plainPath))
            refusal = plain.lastError();
        if (!refusal.isEmpty()) {
            ++refusals[reasonKind(refusal)];
            out << "refused: " << refusal << "\n" << Qt::flush;
            continue;
        }
        for (const QString& kind : candidate.kinds)
            ++plainSaved[kind];
        const QStringList sourcePoppler = popplerWords(candidate.file, candidate.page);
        const QStringList copyPoppler = popplerWords(plainPath, 1);
        const QStringList sourceMupdf = mupdfWords(candidate.file, candidate.page);
        const QStringList copyMupdf = mupdfWords(plainPath, 1);
        const Carried before = carriedBy(candidate.file, candidate.page), after = carriedBy(plainPath, 1);
        int lostAnnotations = 0;
        for (auto it = before.annotations.begin(); it != before.annotations.end(); ++it)
            lostAnnotations += std::max(0, it.value() - after.annotations.value(it.key()));
        int lostFiles = 0;
        for (const QByteArray& digest : before.files)
            lostFiles += after.files.count(digest) < before.files.count(digest) ? 1 : 0;
        const int lost[] = {wordsMissing(sourcePoppler, copyPoppler), wordsMissing(sourceMupdf, copyMupdf),
                            wordsMissing(copyPoppler, sourcePoppler), wordsMissing(copyMupdf, sourceMupdf),
                            lostAnnotations, lostFiles};
        popplerLost += lost[0];
        mupdfLost += lost[1];
        popplerShown += lost[2];
        mupdfShown += lost[3];
        annotationsLost += lost[4];
        filesLost += lost[5];
        pagesLosing += std::any_of(std::begin(lost), std::end(lost), [](int n) { return n > 0; });
        out << "saved (words lost " << lost[0] << "/" << lost[1] << ", shown " << lost[2] << "/" << lost[3]
            << ", annotations lost " << lost[4] << ", files lost " << lost[5] << "); ";

        PdfDocument edited;
        refusal.clear();
        if (!edited.open(host) || !edited.appendPage(candidate.file, candidate.page))
            refusal = edited.lastError();
        else if (!editFirstBlock(edited, 1))
            refusal = QStringLiteral("edit: ") + edited.lastError();
        else if (!edited.saveAs(editedPath))
            refusal = QStringLiteral("save: ") + edited.lastError();
        if (!refusal.isEmpty()) {
            // The same edit of the page where it stands tells a refusal of
            // the put-in page from one of the edit itself.
            PdfDocument direct;
            const bool alsoDirect = !direct.open(candidate.file) || !editFirstBlock(direct, candidate.page) ||
                                    !direct.saveAs(editedPath);
            ++refusals[reasonKind(refusal) + (alsoDirect ? QStringLiteral(" [also on the page where it stands]")
                                                         : QStringLiteral(" [only on the page put in]"))];
            out << "edited refused: " << refusal
                << (alsoDirect ? " (refused on the page where it stands too)" : " (saved on the page where it stands)")
                << "\n" << Qt::flush;
            continue;
        }
        for (const QString& kind : candidate.kinds)
            ++editedSaved[kind];
        const bool read = popplerWords(editedPath, 1).join(QLatin1Char(' ')).contains(QStringLiteral("Правка")) ||
                          edited.extractAllText(1).trimmed().isEmpty();
        editsUnread += read ? 0 : 1;
        out << "edited saved" << (read ? "" : " (edit not read by poppler)") << "\n" << Qt::flush;
    }
    out << "\npages tried " << candidates.size() << "\n";
    for (const QString& kind : {QStringLiteral("annotations"), QStringLiteral("layers"), QStringLiteral("attachments")})
        out << "  " << kind << ": tried " << tried.value(kind) << ", saved as put in " << plainSaved.value(kind)
            << ", saved edited " << editedSaved.value(kind) << "\n";
    out << "saved put-in pages losing anything " << pagesLosing << ": words lost (poppler/mupdf) " << popplerLost << "/"
        << mupdfLost << ", words shown " << popplerShown << "/" << mupdfShown << ", annotations lost "
        << annotationsLost << ", attached files lost " << filesLost << "; edits not read " << editsUnread << "\n";
    out << "refusals:\n";
    for (auto it = refusals.begin(); it != refusals.end(); ++it)
        out << "  " << it.value() << "  " << it.key() << "\n";
    return 0;
}
