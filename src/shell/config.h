#pragma once
// "Configuration": the editor's five options. The dialog reads them from the
// settings when it is created and writes them only when closed with "Ok";
// the main window copies its running state in before showing it and applies
// State() after an "Ok".

#include <QDialog>

class QCheckBox;
class QLabel;
class QSlider;

namespace kestrune {

struct TConfigState {
    bool MapDirectDraw = false;
    bool BigIcons = true;
    bool PicturePreview = true;
    bool AddParentheses = true;
    int CompletionDelayMs = 400;
};

class TfrmConfig : public QDialog {
    Q_OBJECT
public:
    // The settings section and the defaults of the five values.
    static constexpr const char* Section = "qv5editor\\config";
    static constexpr bool DefaultDirectDraw = false;
    static constexpr bool DefaultBigIcons = true;
    static constexpr bool DefaultAddParentheses = true;
    static constexpr bool DefaultPicturePreview = true;
    static constexpr int DefaultDelayPosition = 4;

    explicit TfrmConfig(QWidget* parent = nullptr);

    // Controls from the settings (defaults where a value is missing or unreadable).
    void LoadOptions();
    // Writes every control to the settings.
    void StoreOptions();

    // The running state into the controls; the track bar takes the delay
    // divided by 100.
    void SetFromState(const TConfigState& state);
    // The controls as a state; the delay is the track bar position times 100.
    TConfigState State() const;

    // "Ok": stores the options and closes the dialog with OK. Every way of
    // closing with OK goes through here; every other way stores nothing.
    void Accept();
    void accept() override;

    QCheckBox* CheckBox1; // map direct draw
    QCheckBox* CheckBox2; // big toolbar icons
    QCheckBox* CheckBox3; // "()" after functions without parameters
    QCheckBox* CheckBox4; // element picture preview
    QSlider* TrackBar1;   // completion delay in hundreds of milliseconds
    QLabel* DelayLabel;

private:
    void UpdateDelayLabel();
};

} // namespace kestrune
