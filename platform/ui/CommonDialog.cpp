#include "ui/CommonDialog.h"

#include "ui/PrinterService.h"
#include "ui/VbColor.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <deque>

namespace ui {

namespace {

struct QueuedFile {
    std::optional<QString> fileName;
    int filterIndex = 0;
};

struct ScriptState {
    bool scripted = false;
    std::deque<QueuedFile> files;
    std::deque<std::optional<FontChoice>> fonts;
    std::deque<std::optional<quint32>> colors;
    std::deque<bool> printers;
    std::vector<DialogRecord> asked;
};

ScriptState &state()
{
    static ScriptState s;
    return s;
}

template<typename T>
std::optional<T> takeFront(std::deque<T> &queue)
{
    if (queue.empty())
        return std::nullopt;
    T value = std::move(queue.front());
    queue.pop_front();
    return value;
}

int normalizedIndex(int index, int count)
{
    return (index >= 1 && index <= count) ? index : 1;
}

bool isPattern(const QString &name)
{
    return name.contains(QLatin1Char('*')) || name.contains(QLatin1Char('?'));
}

// The print dialog labels its confirming button after printing, also as it is shown; the
// set-up's label goes on then.
class SetupButtonLabel : public QObject {
public:
    using QObject::QObject;

    static void relabel(QWidget *dialog)
    {
        for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>()) {
            if (QPushButton *ok = box->button(QDialogButtonBox::Ok))
                ok->setText(QStringLiteral("OK"));
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            relabel(static_cast<QWidget *>(watched));
        return false;
    }
};

void labelPrinterSetupButton(QDialog &dialog)
{
    dialog.installEventFilter(new SetupButtonLabel(&dialog));
    SetupButtonLabel::relabel(&dialog);
}

std::optional<FileChoice> scriptedFile(DialogRecord::Kind kind, const FileDialogRequest &request)
{
    ScriptState &s = state();
    DialogRecord record;
    record.kind = kind;
    record.file = request;
    s.asked.push_back(std::move(record));
    if (s.files.empty())
        return std::nullopt;
    const QueuedFile queued = std::move(s.files.front());
    s.files.pop_front();
    if (!queued.fileName || queued.fileName->isEmpty())
        return std::nullopt;
    const int count = int(CommonDialog::parseFilter(request.filter).size());
    FileChoice choice;
    QString name = *queued.fileName;
    // As the real save dialog does: a typed name without an extension gets the default one.
    QString ext = request.defaultExt;
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (kind == DialogRecord::Kind::Save && !ext.isEmpty() && QFileInfo(name).suffix().isEmpty())
        name += QLatin1Char('.') + ext;
    const QFileInfo info(name);
    choice.fileName = info.isAbsolute() ? name : info.absoluteFilePath();
    choice.filterIndex = normalizedIndex(queued.filterIndex ? queued.filterIndex : request.filterIndex, count);
    return choice;
}

std::optional<FileChoice> runFileDialog(bool save, const FileDialogRequest &request, QWidget *parent)
{
    QFileDialog dialog(parent, request.title, request.initialDir);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!save && request.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (save && !request.overwritePrompt)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QString ext = request.defaultExt;
    if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    dialog.setDefaultSuffix(ext);

    const QStringList filters = CommonDialog::nameFilters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.at(normalizedIndex(request.filterIndex, int(filters.size())) - 1));
    }
    if (!request.fileName.isEmpty() && !isPattern(request.fileName))
        dialog.selectFile(request.fileName);

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    FileChoice choice;
    choice.fileName = QFileInfo(files.first()).absoluteFilePath();
    choice.filterIndex = filters.isEmpty() ? 1 : int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (choice.filterIndex < 1)
        choice.filterIndex = 1;
    return choice;
}

// Qt's font dialog has no colour; this one adds a colour button below it.
std::optional<FontChoice> runFontDialog(const FontChoice &initial, QWidget *parent)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(QObject::tr("Font"));
    auto *layout = new QVBoxLayout(&dialog);

    auto *fonts = new QFontDialog(initial.toFont(), &dialog);
    fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    fonts->setWindowFlags(Qt::Widget);
    layout->addWidget(fonts);

    quint32 color = initial.color & 0x00FFFFFFu;
    auto *colorRow = new QHBoxLayout;
    auto *swatch = new QLabel(&dialog);
    swatch->setFixedSize(48, 20);
    const auto paintSwatch = [swatch, &color] {
        swatch->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid gray;")
                                  .arg(VbColor::toHtml(color)));
    };
    paintSwatch();
    auto *colorButton = new QPushButton(QObject::tr("&Colour..."), &dialog);
    QObject::connect(colorButton, &QPushButton::clicked, &dialog, [&] {
        const QColor chosen = QColorDialog::getColor(VbColor::toQColor(color), &dialog);
        if (chosen.isValid()) {
            color = VbColor::fromQColor(chosen);
            paintSwatch();
        }
    });
    colorRow->addWidget(new QLabel(QObject::tr("Colour:"), &dialog));
    colorRow->addWidget(swatch);
    colorRow->addWidget(colorButton);
    colorRow->addStretch();
    layout->addLayout(colorRow);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return FontChoice::fromFont(fonts->currentFont(), color);
}

// A trailing "(…)" that only lists patterns is replaced by the patterns actually used.
QString bareDescription(const QString &description)
{
    static const QRegularExpression trailingPatterns(QStringLiteral(R"(\s*\([^()]*[*?][^()]*\)\s*$)"));
    QString d = description;
    d.remove(trailingPatterns);
    return d.trimmed();
}

} // namespace

QFont FontChoice::toFont() const
{
    QFont font;
    if (!family.isEmpty())
        font.setFamily(family);
    if (size > 0)
        font.setPointSizeF(size);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(strikeout);
    return font;
}

FontChoice FontChoice::fromFont(const QFont &font, quint32 color)
{
    FontChoice choice;
    choice.family = font.family();
    choice.size = font.pointSizeF() > 0 ? font.pointSizeF() : choice.size;
    choice.bold = font.bold();
    choice.italic = font.italic();
    choice.underline = font.underline();
    choice.strikeout = font.strikeOut();
    choice.color = color;
    return choice;
}

std::vector<CommonDialog::FilterEntry> CommonDialog::parseFilter(const QString &filter)
{
    std::vector<FilterEntry> entries;
    const QStringList parts = filter.split(QLatin1Char('|'));
    // A description without patterns at the end is dropped, as the classic dialog does.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        FilterEntry entry;
        entry.description = parts.at(i).trimmed();
        for (const QString &p : parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString pattern = p.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*"); // "all files", also those without a dot
            if (!pattern.isEmpty() && !entry.patterns.contains(pattern))
                entry.patterns << pattern;
        }
        if (entry.patterns.isEmpty())
            entry.patterns << QStringLiteral("*");
        entries.push_back(std::move(entry));
    }
    return entries;
}

QStringList CommonDialog::nameFilters(const QString &filter)
{
    QStringList filters;
    for (const FilterEntry &entry : parseFilter(filter)) {
        QString description = bareDescription(entry.description);
        if (description.isEmpty())
            description = entry.patterns.join(QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(description, entry.patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

std::optional<FileChoice> CommonDialog::showOpen(const FileDialogRequest &request, QWidget *parent)
{
    try {
        if (state().scripted)
            return scriptedFile(DialogRecord::Kind::Open, request);
        return runFileDialog(false, request, parent);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<FileChoice> CommonDialog::showSave(const FileDialogRequest &request, QWidget *parent)
{
    try {
        if (state().scripted)
            return scriptedFile(DialogRecord::Kind::Save, request);
        return runFileDialog(true, request, parent);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<FontChoice> CommonDialog::showFont(const FontChoice &initial, QWidget *parent)
{
    try {
        ScriptState &s = state();
        if (s.scripted) {
            DialogRecord record;
            record.kind = DialogRecord::Kind::Font;
            record.font = initial;
            s.asked.push_back(std::move(record));
            return takeFront(s.fonts).value_or(std::nullopt);
        }
        return runFontDialog(initial, parent);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<quint32> CommonDialog::showColor(quint32 initial, QWidget *parent)
{
    try {
        ScriptState &s = state();
        if (s.scripted) {
            DialogRecord record;
            record.kind = DialogRecord::Kind::Color;
            record.color = initial;
            s.asked.push_back(std::move(record));
            return takeFront(s.colors).value_or(std::nullopt);
        }
        const QColor chosen = QColorDialog::getColor(VbColor::toQColor(initial), parent);
        if (!chosen.isValid())
            return std::nullopt;
        return VbColor::fromQColor(chosen);
    } catch (...) {
        return std::nullopt;
    }
}

bool CommonDialog::showPrinter(QWidget *parent)
{
    try {
        ScriptState &s = state();
        if (s.scripted) {
            DialogRecord record;
            record.kind = DialogRecord::Kind::Printer;
            s.asked.push_back(std::move(record));
            return takeFront(s.printers).value_or(false);
        }
        QPrintDialog dialog(&PrinterService::printer(), parent);
        // This is the set-up of the printer, not a printout: its button must not say "Print".
        dialog.setWindowTitle(QStringLiteral("Printer Setup"));
        labelPrinterSetupButton(dialog);
        return dialog.exec() == QDialog::Accepted;
    } catch (...) {
        return false;
    }
}

void CommonDialog::setScripted(bool on)
{
    ScriptState &s = state();
    s.scripted = on;
    s.files.clear();
    s.fonts.clear();
    s.colors.clear();
    s.printers.clear();
    s.asked.clear();
}

bool CommonDialog::isScripted()
{
    return state().scripted;
}

void CommonDialog::queueFile(std::optional<QString> fileName, int filterIndex)
{
    state().files.push_back({std::move(fileName), filterIndex});
}

void CommonDialog::queueFont(std::optional<FontChoice> font)
{
    state().fonts.push_back(std::move(font));
}

void CommonDialog::queueColor(std::optional<quint32> color)
{
    state().colors.push_back(color);
}

void CommonDialog::queuePrinter(bool accepted)
{
    state().printers.push_back(accepted);
}

const std::vector<DialogRecord> &CommonDialog::asked()
{
    return state().asked;
}

void CommonDialog::clearAsked()
{
    state().asked.clear();
}

const DialogRecord *CommonDialog::lastAsked()
{
    const auto &asked = state().asked;
    return asked.empty() ? nullptr : &asked.back();
}

ScriptedDialogs::ScriptedDialogs()
    : m_previous(CommonDialog::isScripted())
{
    CommonDialog::setScripted(true);
}

ScriptedDialogs::~ScriptedDialogs()
{
    CommonDialog::setScripted(m_previous);
}

} // namespace ui
