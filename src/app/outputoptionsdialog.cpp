#include "app/outputoptionsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/commandguard.h"
#include "dialogs/dialogform.h"
#include "dialogs/inputdialogs.h"
#include "dialogs/messagedialogs.h"
#include "settings/props.h"

namespace velmora {

namespace {

// The controls of the dialog; each group's builder adds its own and their reading and setting.
class TOutputOptionsForm : public TDialogForm {
 public:
  TOutputOptionsForm(TProps& props, const OutputDialogHooks& hooks) : props_(props), hooks_(hooks) {
    setObjectName(QStringLiteral("TOutputOptionsForm"));
    setWindowTitle(QStringLiteral("Opcje zapisu"));
    auto* column = new QVBoxLayout(this);
    // Two columns of groups, the file's on the left, so the dialog fits a 768-pixel screen.
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    for (QGroupBox* group : {FileGroup(), EncoderGroup(), ColourGroup()}) left->addWidget(group);
    for (QGroupBox* group : {DateGroup(), NamesGroup(), PresetGroup()}) right->addWidget(group);
    left->addStretch();
    right->addStretch();
    columns->addLayout(left);
    columns->addLayout(right);
    column->addLayout(columns);
    QPushButton* ok = AddResultButton(QStringLiteral("OK"), mrOk, QRect(0, 0, 75, 25));
    ok->setObjectName(QStringLiteral("OK"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    column->addLayout(buttons);
    SetDefaultButton(ok);
    SetCancelButton(ok);
    Show(StoredOutputOptions(props_));
    loading_ = false;
    adjustSize();
    setFixedSize(sizeHint());
  }

 private:
  static QFormLayout* NewForm() {
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    return form;
  }

  QGroupBox* NewGroup(const QString& title, QLayout* layout) {
    auto* group = new QGroupBox(title, this);
    group->setLayout(layout);
    return group;
  }

  template <typename Control, typename Signal>
  Control* Watched(Control* control, Signal signal) {
    connect(control, signal, this, [this] { Store(); });
    return control;
  }

  QGroupBox* FileGroup() {
    auto* form = NewForm();
    format_ = Watched(new QComboBox, &QComboBox::currentIndexChanged);
    format_->setObjectName(QStringLiteral("format"));
    for (const OutputFormat f : kOutputFormats) format_->addItem(QString::fromUtf8(outputFormatTitle(f).data()));
    format_->setToolTip(QStringLiteral("WebP i AVIF: mniejsze pliki, bez IPTC; opcje kodera JPEG ich nie dotyczą"));
    form->addRow(QStringLiteral("format:"), format_);
    quality_ = Watched(new QSpinBox, &QSpinBox::valueChanged);
    quality_->setObjectName(QStringLiteral("jakosc"));
    quality_->setRange(kMinQuality, kMaxQuality);
    form->addRow(QStringLiteral("jakość (1-100):"), quality_);
    auto* limitRow = new QHBoxLayout;
    limitOn_ = Watched(new QCheckBox(QStringLiteral("najwyżej")), &QCheckBox::toggled);
    limitOn_->setObjectName(QStringLiteral("limit"));
    limitKB_ = Watched(new QSpinBox, &QSpinBox::valueChanged);
    limitKB_->setObjectName(QStringLiteral("maxKB"));
    limitKB_->setRange(1, static_cast<int>(kMaxLimitKB));
    limitKB_->setSuffix(QStringLiteral(" KB"));
    limitKB_->setToolTip(
        QStringLiteral("najwyższa jakość, przy której plik z metadanymi się mieści (1 KB = 1000 bajtów)"));
    limitRow->addWidget(limitOn_);
    limitRow->addWidget(limitKB_);
    limitRow->addStretch();
    form->addRow(QStringLiteral("rozmiar pliku:"), limitRow);
    sharpening_ = Watched(new QComboBox, &QComboBox::currentIndexChanged);
    sharpening_->setObjectName(QStringLiteral("wyostrzanie"));
    for (int i = 0; i <= static_cast<int>(Sharpening::High); ++i)
      sharpening_->addItem(SharpeningName(static_cast<Sharpening>(i)));
    sharpening_->setToolTip(QStringLiteral("po zmniejszeniu zdjęcia, przed podpisem"));
    form->addRow(QStringLiteral("wyostrzanie:"), sharpening_);
    return NewGroup(QStringLiteral("Plik"), form);
  }

  QGroupBox* EncoderGroup() {
    auto* form = NewForm();
    chroma_ = Watched(new QComboBox, &QComboBox::currentIndexChanged);
    chroma_->setObjectName(QStringLiteral("chroma"));
    chroma_->addItem(QStringLiteral("4:2:0 (mniejszy plik)"));
    chroma_->addItem(QStringLiteral("4:4:4 (ostry kolorowy podpis)"));
    form->addRow(QStringLiteral("próbkowanie kolorów:"), chroma_);
    progressive_ = Watched(new QCheckBox(QStringLiteral("zapis progresywny")), &QCheckBox::toggled);
    progressive_->setObjectName(QStringLiteral("progresywny"));
    form->addRow(progressive_);
    standardHuffman_ = Watched(new QCheckBox(QStringLiteral("standardowe tablice Huffmana")), &QCheckBox::toggled);
    standardHuffman_->setObjectName(QStringLiteral("standardowyHuffman"));
    standardHuffman_->setToolTip(QStringLiteral("domyślnie optymalizowane: te same piksele, mniejszy plik"));
    form->addRow(standardHuffman_);
    return NewGroup(QStringLiteral("Koder JPEG"), form);
  }

  QGroupBox* ColourGroup() {
    auto* column = new QVBoxLayout;
    convertColours_ = Watched(new QCheckBox(QStringLiteral("konwertuj kolory do sRGB")), &QCheckBox::toggled);
    convertColours_->setObjectName(QStringLiteral("kolory"));
    column->addWidget(convertColours_);
    return NewGroup(QStringLiteral("Kolory"), column);
  }

  QGroupBox* DateGroup() {
    auto* column = new QVBoxLayout;
    keepDate_ =
        Watched(new QCheckBox(QStringLiteral("zachowaj datę modyfikacji pliku źródłowego")), &QCheckBox::toggled);
    keepDate_->setObjectName(QStringLiteral("zachowajDate"));
    column->addWidget(keepDate_);
    return NewGroup(QStringLiteral("Data"), column);
  }

  QGroupBox* NamesGroup() {
    auto* form = NewForm();
    templateOn_ =
        Watched(new QCheckBox(QStringLiteral("nazwy z szablonu (zamiast prefiksu i sufiksu)")), &QCheckBox::toggled);
    templateOn_->setObjectName(QStringLiteral("nazwaZSzablonu"));
    form->addRow(templateOn_);
    template_ = Watched(new QLineEdit, &QLineEdit::textChanged);
    template_->setObjectName(QStringLiteral("szablonNazwy"));
    template_->setMinimumWidth(160);
    template_->setToolTip(
        QStringLiteral("pola: {nazwa}, {nr} lub {nr:3}, {data} lub {data:%Y-%m-%d_%H%M}, "
                       "{szer}, {wys}; potrzebne {nazwa} lub {nr}"));
    start_ = Watched(new QSpinBox, &QSpinBox::valueChanged);
    start_->setObjectName(QStringLiteral("odNumeru"));
    start_->setRange(0, kMaxStartNumber);
    // One row: the dialog is already nearly as tall as the window.
    auto* row = new QHBoxLayout;
    row->addWidget(template_);
    row->addWidget(new QLabel(QStringLiteral("od numeru:")));
    row->addWidget(start_);
    form->addRow(QStringLiteral("szablon:"), row);
    existing_ = Watched(new QComboBox, &QComboBox::currentIndexChanged);
    existing_->setObjectName(QStringLiteral("istniejace"));
    existing_->addItem(QStringLiteral("zastąp"));
    existing_->addItem(QStringLiteral("pomiń"));
    existing_->addItem(QStringLiteral("dodaj numer"));
    existing_->setToolTip(QStringLiteral("dodaj numer: „nazwa (2).jpg”, pierwszy wolny"));
    form->addRow(QStringLiteral("gdy plik istnieje:"), existing_);
    subfolders_ = Watched(new QCheckBox(QStringLiteral("z podfolderami")), &QCheckBox::toggled);
    subfolders_->setObjectName(QStringLiteral("podfoldery"));
    subfolders_->setToolTip(
        QStringLiteral("zdjęcia z podfolderów trafiają do tych samych podfolderów folderu docelowego"));
    form->addRow(subfolders_);
    return NewGroup(QStringLiteral("Nazwy i foldery"), form);
  }

  QGroupBox* PresetGroup() {
    auto* row = new QHBoxLayout;
    presets_ = new QComboBox;
    presets_->setObjectName(QStringLiteral("presety"));
    presets_->setMinimumContentsLength(16);
    row->addWidget(presets_, 1);
    auto* load = new QPushButton(QStringLiteral("Wczytaj"));
    load->setObjectName(QStringLiteral("Wczytaj"));
    auto* save = new QPushButton(QStringLiteral("Zapisz jako ..."));
    save->setObjectName(QStringLiteral("Zapisz"));
    auto* remove = new QPushButton(QStringLiteral("Usuń"));
    remove->setObjectName(QStringLiteral("Usun"));
    for (QPushButton* b : {load, save, remove}) {
      b->setAutoDefault(false);
      row->addWidget(b);
    }
    // A refusal's message ends the command with EAbort, which must not reach the event loop.
    connect(load, &QPushButton::clicked, this, [this] { RunGuarded([this] { LoadPreset(); }); });
    connect(save, &QPushButton::clicked, this, [this] { RunGuarded([this] { SavePreset(); }); });
    connect(remove, &QPushButton::clicked, this, [this] { RunGuarded([this] { RemovePreset(); }); });
    FillPresets(QString());
    auto* group = NewGroup(QStringLiteral("Presety (opcje zapisu, rozmiar, „Powiększ mniejsze”)"), row);
    return group;
  }

  void FillPresets(const QString& current) {
    presets_->clear();
    std::vector<std::pair<QString, QString>> entries;
    for (const TProp& p : props_.Entries()) entries.emplace_back(p.Key, p.Value);
    for (const QString& name : PresetNames(entries)) presets_->addItem(name);
    if (const int at = presets_->findText(current); at >= 0) presets_->setCurrentIndex(at);
  }

  void Show(const OutputOptions& o) {
    loading_ = true;
    const auto format = std::find(std::begin(kOutputFormats), std::end(kOutputFormats), o.format);
    format_->setCurrentIndex(static_cast<int>(format - std::begin(kOutputFormats)));
    quality_->setValue(o.encoder.quality);
    limitOn_->setChecked(o.maxBytes != 0);
    limitKB_->setValue(o.maxBytes != 0 ? static_cast<int>(o.maxBytes / kBytesPerKB) : 500);
    sharpening_->setCurrentIndex(static_cast<int>(o.sharpening));
    chroma_->setCurrentIndex(o.encoder.chroma == ChromaSampling::k444 ? 1 : 0);
    progressive_->setChecked(o.encoder.progressive);
    standardHuffman_->setChecked(!o.encoder.optimizeHuffman);
    keepDate_->setChecked(o.keepDate);
    convertColours_->setChecked(o.convertColours);
    templateOn_->setChecked(o.templateNames);
    template_->setText(QString::fromStdString(o.nameTemplate));
    start_->setValue(o.startNumber);
    existing_->setCurrentIndex(static_cast<int>(o.existing));
    subfolders_->setChecked(o.subfolders);
    loading_ = false;
    limitKB_->setEnabled(limitOn_->isChecked());
    template_->setEnabled(templateOn_->isChecked());
    start_->setEnabled(templateOn_->isChecked());
  }

  OutputOptions Read() const {
    OutputOptions o;
    o.format = kOutputFormats[std::clamp(format_->currentIndex(), 0, static_cast<int>(std::size(kOutputFormats)) - 1)];
    o.encoder.quality = quality_->value();
    o.maxBytes = limitOn_->isChecked() ? static_cast<std::uint64_t>(limitKB_->value()) * kBytesPerKB : 0;
    o.sharpening = static_cast<Sharpening>(sharpening_->currentIndex());
    o.encoder.chroma = chroma_->currentIndex() == 1 ? ChromaSampling::k444 : ChromaSampling::k420;
    o.encoder.progressive = progressive_->isChecked();
    o.encoder.optimizeHuffman = !standardHuffman_->isChecked();
    o.keepDate = keepDate_->isChecked();
    o.convertColours = convertColours_->isChecked();
    o.templateNames = templateOn_->isChecked();
    if (!template_->text().isEmpty()) o.nameTemplate = template_->text().toStdString();
    o.startNumber = start_->value();
    o.existing = static_cast<ExistingOutput>(std::clamp(existing_->currentIndex(), 0, 2));
    o.subfolders = subfolders_->isChecked();
    return o;
  }

  void Store() {
    if (loading_) return;
    limitKB_->setEnabled(limitOn_->isChecked());
    template_->setEnabled(templateOn_->isChecked());
    start_->setEnabled(templateOn_->isChecked());
    StoreOutputOptions(props_, Read());
    if (hooks_.changed) hooks_.changed();
  }

  QString Chosen() const { return presets_->currentText(); }

  void LoadPreset() {
    const auto preset = ReadPreset(Chosen(), [this](const QString& key) { return props_.Get(key); });
    if (!preset) return;
    Show(preset->output);
    StoreOutputOptions(props_, preset->output);
    if (hooks_.applyScaling) hooks_.applyScaling(preset->scaling);
    if (hooks_.changed) hooks_.changed();
  }

  void SavePreset() {
    QString name = Chosen();
    if (!TextInputDialog(QStringLiteral("Zapisz preset"), QStringLiteral("Nazwa presetu:"), name, 64)) return;
    if (const QString fault = PresetNameFault(name); !fault.isEmpty()) {
      ErrorNotice(fault);
      return;
    }
    Preset preset;
    preset.output = Read();
    if (hooks_.scaling) preset.scaling = hooks_.scaling();
    for (const auto& [key, value] : PresetEntries(name, preset)) props_.Set(key, value);
    FillPresets(name);
  }

  void RemovePreset() {
    if (presets_->count() == 0) return;
    for (const auto& [key, value] : DeletedPresetEntries(Chosen())) props_.Set(key, value);
    FillPresets(QString());
  }

  TProps& props_;
  const OutputDialogHooks& hooks_;
  bool loading_ = true;
  QComboBox* format_ = nullptr;
  QSpinBox* quality_ = nullptr;
  QCheckBox* limitOn_ = nullptr;
  QSpinBox* limitKB_ = nullptr;
  QComboBox* sharpening_ = nullptr;
  QComboBox* chroma_ = nullptr;
  QCheckBox* progressive_ = nullptr;
  QCheckBox* standardHuffman_ = nullptr;
  QCheckBox* keepDate_ = nullptr;
  QCheckBox* convertColours_ = nullptr;
  QCheckBox* templateOn_ = nullptr;
  QLineEdit* template_ = nullptr;
  QSpinBox* start_ = nullptr;
  QComboBox* existing_ = nullptr;
  QCheckBox* subfolders_ = nullptr;
  QComboBox* presets_ = nullptr;
};

}  // namespace

OutputOptions StoredOutputOptions(const TProps& props) {
  return OutputOptionsFromKeys([&props](const QString& key) { return props.Get(key); });
}

void StoreOutputOptions(TProps& props, const OutputOptions& options) {
  for (const auto& [key, value] : OutputOptionKeys(options)) props.Set(key, value);
}

void ShowOutputOptionsDialog(TProps& props, const OutputDialogHooks& hooks) {
  TOutputOptionsForm form(props, hooks);
  form.ShowModal();
}

}  // namespace velmora
