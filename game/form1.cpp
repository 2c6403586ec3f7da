// The rules of the game, as Form1's event handlers: start and exit, shots,
// and the two timers. Every number they use lives in a label's caption.
//
// The ammunition is Label6, the kills Label5, the time of play Label7 and
// the index of the next target Label10.
#include "form1.h"

#include "counters.h"
#include "form1_design.h"

namespace skeetra {

namespace {
constexpr std::string_view lossMessage = "У вас кончились патроны. Вы проиграли!";
constexpr double kWinningKills = 100.0;
} // namespace

Form1::Form1(rt::Form& f)
    : form(f), Label1(f.label("Label1")), Label2(f.label("Label2")), Label3(f.label("Label3")),
      Label4(f.label("Label4")), Label5(f.label("Label5")), Label6(f.label("Label6")), Label7(f.label("Label7")),
      Label8(f.label("Label8")), Label9(f.label("Label9")), Label10(f.label("Label10")),
      Label11(f.label("Label11")), Label12(f.label("Label12")), Image1(f.image("Image1")),
      Image2(f.image("Image2")), Image3(f.image("Image3")), Image4(f.image("Image4")), Image5(f.image("Image5")),
      Image6(f.image("Image6")), Image7(f.image("Image7")), Image8(f.image("Image8")), Image9(f.image("Image9")),
      Image10(f.image("Image10")), Image11(f.image("Image11")), Image12(f.image("Image12")),
      Image13(f.image("Image13")), Timer1(f.timer("Timer1")), Timer2(f.timer("Timer2")),
      targets{&Image2, &Image3, &Image4, &Image5, &Image6, &Image7, &Image8, &Image9, &Image10, &Image11, &Image12,
              &Image13}
{
    form.onLoad = [this] { Form_Load(); };
    form.onClick = [this] { Form_Click(); };
    Image1.handler = [this] { Image1_Click(); };
    Image2.handler = [this] { Image2_Click(); };
    Image3.handler = [this] { Image3_Click(); };
    Image4.handler = [this] { Image4_Click(); };
    Image5.handler = [this] { Image5_Click(); };
    Image6.handler = [this] { Image6_Click(); };
    Image7.handler = [this] { Image7_Click(); };
    Image8.handler = [this] { Image8_Click(); };
    Image9.handler = [this] { Image9_Click(); };
    Image10.handler = [this] { Image10_Click(); };
    Image11.handler = [this] { Image11_Click(); };
    Image12.handler = [this] { Image12_Click(); };
    Image13.handler = [this] { Image13_Click(); };
    Label1.handler = [this] { Label1_Click(); };
    Timer1.handler = [this] { Timer1_Timer(); };
    Timer2.handler = [this] { Timer2_Timer(); };
}

const rt::FormDesign& Form1::design() { return form1Design(); }

// ---------------------------------------------------------------- start and exit

void Form1::Form_Load() { rt::randomize(); }

void Form1::Image1_Click()
{
    Timer1.setEnabled(true);
    Image1.setVisible(false); // play starts once: the start area takes no more clicks
    Label8.setVisible(false);
    chooseTargetIndex(Label10); // the referee shows it on its next tick
}

void Form1::Label1_Click() { rt::endProgram(); }

// ---------------------------------------------------------------- shots

// A miss; it costs a cartridge like any shot, before play and after the win too.
void Form1::Form_Click() { stepCounter(Label6, -1); }

void Form1::hit(rt::Image& target)
{
    target.setVisible(false);
    stepCounter(Label6, -1);
    stepCounter(Label5, +1);
    chooseTargetIndex(Label10);
}

void Form1::Image2_Click() { hit(Image2); }
void Form1::Image3_Click() { hit(Image3); }
void Form1::Image4_Click() { hit(Image4); }
void Form1::Image5_Click() { hit(Image5); }
void Form1::Image6_Click() { hit(Image6); }
void Form1::Image7_Click() { hit(Image7); }
void Form1::Image8_Click() { hit(Image8); }
void Form1::Image9_Click() { hit(Image9); }
void Form1::Image10_Click() { hit(Image10); }
void Form1::Image11_Click() { hit(Image11); }
void Form1::Image12_Click() { hit(Image12); }
void Form1::Image13_Click() { hit(Image13); }

// ---------------------------------------------------------------- clock and referee

void Form1::Timer1_Timer() { stepCounter(Label7, +1); }

void Form1::Timer2_Timer()
{
    // Nothing can change the index between the twelve tests, so one
    // reading serves them all; this runs a thousand times a second.
    const double index = counterValue(Label10);
    for (int k = 0; k < 12; ++k)
        if (index == k)
            targets[k]->setVisible(true);

    // Two shots between two ticks can carry a counter past its end value, so
    // the ends are ranges rather than the single values they pass through.
    // The loss is tested first: the last cartridge spent on the hundredth
    // kill loses.
    if (counterAtMost(Label6, 0)) {
        rt::messageBox(lossMessage);
        rt::endProgram();
    }

    if (counterAtLeast(Label5, kWinningKills)) {
        Timer1.setEnabled(false);
        Label11.setVisible(true);
        Label12.setVisible(true);
        Label12.setCaption(Label7.Caption()); // the final time, as text
        Timer2.setEnabled(false);
    }
}

} // namespace skeetra
