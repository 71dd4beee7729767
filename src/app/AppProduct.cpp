#include "AppProduct.h"

#include <array>

namespace {

struct Edition {
    AppProduct product;
    const char* option;
    const char* applicationName;
    const char* displayName;
};

constexpr std::array<Edition, 3> kEditions{{
    {AppProduct::editor, "--vorn-product=editor", "vorn-pdf-editor", "ВОРН PDF Редактор"},
    {AppProduct::viewer, "--vorn-product=viewer", "vorn-pdf-viewer", "ВОРН PDF Просмотр"},
    {AppProduct::ecp, "--vorn-product=ecp", "vorn-ecp", "ВОРН ЭЦП"},
}};

constexpr AppProduct kDefaultProduct = AppProduct::ecp;
constexpr auto kProductOptionPrefix = "--vorn-product=";

const Edition& editionOf(AppProduct product)
{
    for (const Edition& edition : kEditions) {
        if (edition.product == product)
            return edition;
    }
    return kEditions.front();
}

} // namespace

QString productDisplayName(AppProduct product)
{
    return QString::fromUtf8(editionOf(product).displayName);
}

QString productApplicationName(AppProduct product)
{
    return QString::fromLatin1(editionOf(product).applicationName);
}

QString productOption(AppProduct product)
{
    return QString::fromLatin1(editionOf(product).option);
}

AppProduct productFromArguments(const QStringList& arguments)
{
    AppProduct product = kDefaultProduct;
    for (const QString& argument : arguments) {
        for (const Edition& edition : kEditions) {
            if (argument == QLatin1String(edition.option))
                product = edition.product;
        }
    }
    return product;
}

bool isProductOption(const QString& argument)
{
    return argument.startsWith(QLatin1String(kProductOptionPrefix));
}
