// Form1's design-time definition: one row per control, topmost first, with
// the places and sizes in twips as they were designed (15 twips a pixel).
#include "form1_design.h"

namespace skeetra {

namespace {

using rt::BackStyle;
using rt::Colour;
using rt::ControlDesign;
using rt::ControlKind;
using rt::FontDesign;
using rt::TwipRect;

constexpr bool shown = true;
constexpr bool hidden = false;

constexpr FontDesign windowDefault{};
constexpr FontDesign msSansSerif(double points) { return {"MS Sans Serif", points}; }
constexpr FontDesign comicSansMs(double points) { return {"Comic Sans MS", points}; }

constexpr Colour byDefault = rt::systemColour(rt::kButtonText);
constexpr Colour red = rt::rgb(255, 0, 0);
constexpr Colour yellow = rt::rgb(255, 255, 0);
constexpr Colour green = rt::rgb(0, 255, 0);
constexpr Colour darkGreen = rt::rgb(0, 128, 0);

struct Background {
    BackStyle style;
    Colour colour;
};
constexpr Background transparent{BackStyle::Transparent, rt::systemColour(rt::kButtonFace)};
constexpr Background opaque(Colour colour) { return {BackStyle::Opaque, colour}; }
constexpr Background opaqueDefault = opaque(rt::systemColour(rt::kButtonFace));

constexpr std::string_view windowPicture = ":/pictures/facade.gif";
constexpr std::string_view targetPicture = ":/pictures/target.gif";
constexpr std::string_view noPicture = "";

constexpr ControlDesign timer(std::string_view name, int left, int top, int interval, bool enabled)
{
    ControlDesign c{};
    c.name = name;
    c.kind = ControlKind::Timer;
    c.place = {left, top, 0, 0};
    c.visible = false;
    c.interval = interval;
    c.enabled = enabled;
    return c;
}

constexpr ControlDesign label(std::string_view name, TwipRect place, bool visible, std::string_view caption,
                              FontDesign font, Colour text, Background background, int tabIndex)
{
    ControlDesign c{};
    c.name = name;
    c.kind = ControlKind::Label;
    c.place = place;
    c.visible = visible;
    c.caption = caption;
    c.font = font;
    c.foreColour = text;
    c.backStyle = background.style;
    c.backColour = background.colour;
    c.tabIndex = tabIndex;
    return c;
}

constexpr ControlDesign image(std::string_view name, TwipRect place, bool visible, std::string_view picture)
{
    ControlDesign c{};
    c.name = name;
    c.kind = ControlKind::Image;
    c.place = place;
    c.visible = visible;
    c.picture = picture;
    return c;
}

// The instructions break at their runs of blanks into four lines:
// "Набери 100 убийств за" / "минимальное время." / "Чтобы начать нажми на" /
// "надпись KILL THEM ALL !!!".
constexpr std::string_view instructions =
    " Набери 100 убийств за      минимальное время.           Чтобы начать нажми на     надпись KILL THEM ALL !!!";
constexpr std::string_view credits = "Tirka Present     tirka.example";
constexpr std::string_view winMessage = "Вы набрали 100 убийств. Ваше время:";

// clang-format off
constexpr ControlDesign controls[] = {
    //     name       Left  Top   Width Height   shown   caption          font              text colour background              TabIndex
    timer("Timer2",  4320, 3000, /* Interval */ 1,   /* Enabled */ true),
    timer("Timer1",  4320, 6360, /* Interval */ 800, /* Enabled */ false),
    label("Label12", {3360, 2220,  735,  255}, hidden, "0",              msSansSerif(12),   byDefault, transparent,          11),
    label("Label11", {1800, 1920, 3015,  735}, hidden, winMessage,       msSansSerif(12),   byDefault, opaque(darkGreen),    10),
    label("Label10", { 360, 5160,  375,  255}, hidden, "13",             windowDefault,     byDefault, opaqueDefault,         9),
    image("Image13", {5520, 1680,  645,  825}, hidden, targetPicture),
    image("Image12", {5760, 5160,  645,  825}, hidden, targetPicture),
    image("Image11", {5520, 3240,  645,  825}, hidden, targetPicture),
    image("Image10", { 480, 3240,  645,  825}, hidden, targetPicture),
    image("Image9",  {3840,    0,  645,  825}, hidden, targetPicture),
    image("Image8",  { 840,    0,  645,  825}, hidden, targetPicture),
    image("Image7",  {3360, 5160,  645,  825}, hidden, targetPicture),
    image("Image6",  {5040,    0,  645,  825}, hidden, targetPicture),
    image("Image5",  {2880, 2760,  645,  825}, hidden, targetPicture),
    image("Image4",  {2280, 5160,  645,  825}, hidden, targetPicture),
    image("Image3",  { 360, 1680,  645,  825}, hidden, targetPicture),
    image("Image2",  {2040,    0,  645,  825}, hidden, targetPicture),
    label("Label9",  {3120, 6590, 1695,  495}, shown,  credits,          comicSansMs(9.75), green,     transparent,           8),
    label("Label8",  {2040, 1320, 2535, 1095}, shown,  instructions,     msSansSerif(9.75), yellow,    transparent,           7),
    image("Image1",  {2040, 4320, 2295,  615}, shown,  noPicture),
    label("Label7",  {4080, 6360,  615,  255}, shown,  "0",              msSansSerif(9.75), red,       transparent,           6),
    label("Label6",  {1080, 6360,  615,  255}, shown,  "120",            msSansSerif(9.75), red,       transparent,           5),
    label("Label5",  {2280, 6600,  615,  255}, shown,  "0",              msSansSerif(9.75), red,       transparent,           4),
    label("Label4",  {3360, 6360,  735,  375}, shown,  "Время:",         msSansSerif(9.75), red,       transparent,           3),
    label("Label2",  { 120, 6600, 2175,  255}, shown,  "Количество убийств:", msSansSerif(9.75), red,  transparent,           2),
    label("Label3",  { 120, 6360,  975,  255}, shown,  "Патроны:",       msSansSerif(9.75), red,       transparent,           1),
    label("Label1",  {5640, 6720,  735,  375}, shown,  "Выход",          msSansSerif(12),   yellow,    transparent,           0),
};
// clang-format on

// Free faces that stand in for the designed ones on every machine; both show Cyrillic.
constexpr rt::FontFace fonts[] = {
    {"MS Sans Serif", ":/fonts/PTSans-Regular.ttf"},
    {"Comic Sans MS", ":/fonts/Comfortaa-Regular.ttf"},
};

constexpr rt::FormDesign form1{
    .name = "Form1",
    .appTitle = "Skeetra",
    .version = "1.00",
    .caption = "Skeetra beta 0.01",
    .client = {735, 1215, 6510, 7125},
    .backColour = rt::systemColour(rt::kTooltipText),
    .picture = windowPicture,
    .icon = ":/pictures/crosshair.ico",
    .mouseIcon = ":/pictures/pointer.ico",
    .mouseHotX = 16, // where the bars of the crosshair cross
    .mouseHotY = 16,
    .defaultFont = msSansSerif(8.25),
    .fonts = fonts,
    .controls = controls,
};

} // namespace

const rt::FormDesign& form1Design() { return form1; }

} // namespace skeetra
