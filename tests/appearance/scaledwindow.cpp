// velmora-scaledwindow: the window as start-up makes it, on the offscreen screen with the density that the
// environment gives (QT_FONT_DPI as a desktop's density, QT_SCALE_FACTOR as a user's own factor), checked on every
// tab in the day and the night theme. It writes what it finds, one line each, for tst_scaling:
//   ratio <device pixels per window pixel>
//   window <width>x<height>                 the window in device pixels
//   clipped <theme> <object>: "<text>" needs <w>x<h>, has <w>x<h>
//   outside <theme> <object>: ...          a group box title or a spin box button that leaves its widget
//   coarse <theme> <picture>: <w>x<h> for <w>x<h> device pixels
// First argument "it": with the Italian translation installed, as when its file lies beside the program ("en": not).
// Second argument, a folder: each tab in each theme is also saved there as <theme>-<tab>.png, in device pixels
// (run it on the xcb platform under Xvfb with -dpi 144 or 192 to see the window as a high-density desktop shows it).
#include "dialogs.h"
#include "fakeports.h"
#include "highdensity.h"
#include "testmain.h"
#include "velmoraflat.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGraphicsPixmapItem>
#include <QGraphicsView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStyleOption>
#include <QTabWidget>
#include <QTextStream>
#include <QTranslator>
#include <QWindow>

namespace {

QTextStream out(stdout);

QString sizeText(QSizeF size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

class WindowCheck
{
public:
    WindowCheck(VelmoraFlat &window, const QString &theme)
        : m_window(window)
        , m_theme(theme)
        , m_ratio(window.windowHandle()->devicePixelRatio())
    {
    }

    void widget(QWidget *w)
    {
        if (auto *label = qobject_cast<QLabel *>(w))
            labelText(label);
        else if (auto *button = qobject_cast<QPushButton *>(w))
            buttonText(button, QStyle::SE_PushButtonContents);
        else if (auto *box = qobject_cast<QCheckBox *>(w))
            checkBox(box);
        else if (auto *group = qobject_cast<QGroupBox *>(w))
            groupTitle(group);
        else if (auto *edit = qobject_cast<QLineEdit *>(w))
            lineEditText(edit);
        else if (auto *combo = qobject_cast<QComboBox *>(w))
            comboItems(combo);
        else if (auto *spin = qobject_cast<QSpinBox *>(w))
            spinBox(spin);
        else if (auto *view = qobject_cast<QGraphicsView *>(w))
            viewPicture(view);
    }

    // What Qt shows of an icon in a place of that size, against the rendering it draws there.
    void icon(const QString &name, const QIcon &icon, QSize place)
    {
        const QSize shown = icon.actualSize(place);
        picture(name, icon.pixmap(m_window.windowHandle(), place).size(), shown);
    }

private:
    void clipped(QWidget *w, const QString &text, QSize needs, QSize has)
    {
        if (needs.width() > has.width() || needs.height() > has.height())
            out << "clipped " << m_theme << ' ' << w->objectName() << ": \"" << text << "\" needs " << sizeText(needs)
                << ", has " << sizeText(has) << '\n';
    }

    // Sideways only: a group box title stands in the margin above the frame, partly above the widget's top.
    void outside(QWidget *w, const QString &what, const QRect &part)
    {
        if (part.left() < 0 || part.right() > w->rect().right())
            out << "outside " << m_theme << ' ' << w->objectName() << ": " << what << " at " << part.x() << ','
                << part.y() << ' ' << sizeText(part.size()) << " in " << sizeText(w->size()) << '\n';
    }

    // The rendering Qt draws must have at least the device pixels of the place it fills, give or take the one pixel
    // that rounding a fitted size costs.
    void picture(const QString &name, QSize rendering, QSizeF shown)
    {
        const QSize needed(qFloor(shown.width() * m_ratio), qFloor(shown.height() * m_ratio));
        if (rendering.width() + 1 < needed.width() || rendering.height() + 1 < needed.height())
            out << "coarse " << m_theme << ' ' << name << ": " << sizeText(rendering) << " for " << sizeText(needed)
                << " device pixels\n";
    }

    static QSize textSize(const QWidget *w, const QString &text)
    {
        const QFontMetrics metrics(w->font());
        return {metrics.horizontalAdvance(text), metrics.height()};
    }

    void labelText(QLabel *label)
    {
        if (label->text().isEmpty())
            return;
        const QRect room = label->contentsRect();
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect needs = QFontMetrics(label->font()).boundingRect(room, flags, label->text());
        clipped(label, label->text(), needs.size(), room.size());
    }

    void buttonText(QPushButton *button, QStyle::SubElement contents)
    {
        if (button->text().isEmpty())
            return;
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(contents, &option, button);
        clipped(button, button->text(), textSize(button, button->text()), room.size());
    }

    void checkBox(QCheckBox *box)
    {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QStyle *style = box->style();
        if (!box->text().isEmpty())
            clipped(box, box->text(), textSize(box, box->text()),
                    style->subElementRect(QStyle::SE_CheckBoxContents, &option, box).size());
        sheetPictures(box, style->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box).size());
    }

    void groupTitle(QGroupBox *group)
    {
        if (group->title().isEmpty())
            return;
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.lineWidth = 1;
        option.textAlignment = group->alignment();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect title = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        clipped(group, group->title(), textSize(group, group->title()), title.size());
        outside(group, QStringLiteral("title"), title);
    }

    void lineEditText(QLineEdit *edit)
    {
        if (edit->text().isEmpty())
            return;
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
        const QRect room = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                               .marginsRemoved(edit->textMargins())
                               .adjusted(2, 1, -2, -1); // QLineEdit's own margins around its text
        clipped(edit, edit->text(), textSize(edit, edit->text()), room.size());
    }

    void comboItems(QComboBox *combo)
    {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.subControls = QStyle::SC_All;
        const QStyle *style = combo->style();
        const QRect room = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i)
            clipped(combo, combo->itemText(i), textSize(combo, combo->itemText(i)), room.size());
        sheetPictures(combo, style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, combo).size());
    }

    void spinBox(QSpinBox *spin)
    {
        QStyleOptionSpinBox option;
        option.initFrom(spin);
        option.buttonSymbols = spin->buttonSymbols();
        option.frame = spin->hasFrame();
        option.subControls = QStyle::SC_All;
        option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
        const QStyle *style = spin->style();
        const QRect field = style->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, spin);
        const QString widest = spin->prefix() + QString::number(spin->maximum()) + spin->suffix();
        clipped(spin, widest, textSize(spin, widest), field.size());
        const QRect up = style->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxUp, spin);
        const QRect down = style->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxDown, spin);
        outside(spin, QStringLiteral("up button"), up);
        outside(spin, QStringLiteral("down button"), down);
        if (field.intersects(up) || field.intersects(down))
            out << "outside " << m_theme << ' ' << spin->objectName() << ": the buttons cover the field\n";
        sheetPictures(spin, up.size());
    }

    void viewPicture(QGraphicsView *view)
    {
        if (!view->scene())
            return;
        for (QGraphicsItem *item : view->scene()->items())
            if (auto *pixmapItem = qgraphicsitem_cast<QGraphicsPixmapItem *>(item))
                picture(view->objectName(), pixmapItem->pixmap().size(), pixmapItem->boundingRect().size());
    }

    // The pictures that a widget's style sheet draws into a part of the widget ("image: url(...)").
    void sheetPictures(QWidget *w, QSize place)
    {
        static const QRegularExpression url(QStringLiteral("url\\((:[^)]+)\\)"));
        auto matches = url.globalMatch(w->styleSheet());
        while (matches.hasNext()) {
            const QString file = matches.next().captured(1);
            icon(w->objectName() + QLatin1Char(' ') + file, QIcon(file), place);
        }
    }

    VelmoraFlat &m_window;
    QString m_theme;
    qreal m_ratio;
};

void checkEveryTab(VelmoraFlat &window, const QString &theme, const QString &shotFolder)
{
    auto *tabs = window.findChild<QTabWidget *>(QStringLiteral("tabWidget"));
    for (int tab = 0; tab < tabs->count(); ++tab) {
        tabs->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        if (!shotFolder.isEmpty())
            window.grab().save(QStringLiteral("%1/%2-%3.png").arg(shotFolder, theme, tabs->widget(tab)->objectName()));
        WindowCheck check(window, theme);
        for (QWidget *w : window.findChildren<QWidget *>())
            if (w->isVisible())
                check.widget(w);
        check.icon(QStringLiteral("tab %1 icon").arg(tab), tabs->tabIcon(tab), tabs->iconSize());
    }
    tabs->setCurrentIndex(0);
    QCoreApplication::processEvents();
}

void checkIcons(VelmoraFlat &window)
{
    WindowCheck check(window, QStringLiteral("day"));
    check.icon(QStringLiteral("window icon"), window.windowIcon(), QSize(48, 48));
    auto *qtLogo = window.findChild<QPushButton *>(QStringLiteral("qtLogo"));
    check.icon(QStringLiteral("qtLogo icon"), qtLogo->icon(), qtLogo->iconSize());
}

} // namespace

int main(int argc, char *argv[])
{
    velmoratest::prepareEnvironment();
    enableHighDensityScaling();
    QApplication app(argc, argv);
    velmoratest::prepareApplication(app);
    QTranslator italian;
    if (argc > 1 && qstrcmp(argv[1], "it") == 0) {
        if (!italian.load(QStringLiteral(VELMORA_ITALIAN_QM)))
            return 2;
        QCoreApplication::installTranslator(&italian);
    }
    fakeports::set({{QStringLiteral("ttyUSB0"), 0x2341}});

    VelmoraFlat window(nullptr, QStringLiteral("true"));
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 3;
    out << "ratio " << window.windowHandle()->devicePixelRatio() << '\n';
    out << "window " << sizeText(QSizeF(window.size()) * window.windowHandle()->devicePixelRatio()) << '\n';

    // With the lamp on, as in use: every control enabled, the lists filled.
    window.findChild<QCheckBox *>(QStringLiteral("MT_lampSwitch"))->click();
    const QString shotFolder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    checkIcons(window);
    checkEveryTab(window, QStringLiteral("day"), shotFolder);
    QTest::mousePress(window.findChild<QPushButton *>(QStringLiteral("MT_nightVisionButton")), Qt::LeftButton);
    checkEveryTab(window, QStringLiteral("night"), shotFolder);
    return 0;
}
