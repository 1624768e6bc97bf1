#pragma once

// Declarations of the screen model's classes, for headers that only name them.

namespace tk {

class Application;
class Component;
class Control;
class DataLink;
class DataSet;
class DataSource;
class Field;
class FieldLink;
class Form;
class Input;
class Snapshot;
class TBevel;
class TComboBox;
class TDBCheckBox;
class TDBComboBox;
class TDBEdit;
class TDBGrid;
class TDBNavigator;
class TDBText;
class TEdit;
class TGroupBox;
class TLabel;
class TMenuItem;
class TPageControl;
class TPanel;
class TRadioButton;
class TScrollBox;
class TSpeedButton;
class TTabSheet;
struct ShiftState;

// Whether a close asks the form first (the user's close) or not (the host ending the client).
enum class CloseQuery { Ask, Skip };

} // namespace tk
