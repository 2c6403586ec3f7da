// The bundled fonts: registered with Qt from the design's resources and made
// at the pixel sizes the labels ask for.
#include "qt_host.h"

#include <QFontDatabase>

#include <map>

namespace rt {

namespace {

// Family names Qt reports for each loaded bundled font, by design name.
std::map<std::string, QString, std::less<>>& fontFamilies()
{
    static std::map<std::string, QString, std::less<>> families;
    return families;
}

} // namespace

void loadFonts(const FormDesign& design)
{
    for (const FontFace& face : design.fonts) {
        if (fontFamilies().count(face.family))
            continue;
        const int id = QFontDatabase::addApplicationFont(qs(face.resource));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty())
            fontFamilies().emplace(std::string(face.family), families.front());
    }
}

QFont fontFor(const FormDesign& design, const FontDesign& font)
{
    const FontDesign& f = fontOf(design, font);
    QFont qfont;
    auto found = fontFamilies().find(f.family);
    qfont.setFamilies({found != fontFamilies().end() ? found->second : qs(f.family)});
    // Qt scales pixels on dense displays.
    qfont.setPixelSize(fontPixels(f));
    qfont.setWeight(QFont::Normal);
    qfont.setStyleStrategy(QFont::PreferDefault);
    qfont.setHintingPreference(QFont::PreferNoHinting);
    return qfont;
}

} // namespace rt
