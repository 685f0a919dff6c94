#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>

#include <stdexcept>

// Setting values of the grid, named as the program's code uses them. The numbers are ours except
// where stored settings carry them (grid lines, wallpaper alignment, data types, DataMode).
namespace grid {

enum GridLinesSettings : int {
    flexGridNone = 0,
    flexGridFlat = 1,
    flexGridInset = 2,
    flexGridRaised = 3,
    flexGridFlatHorz = 4,
    flexGridInsetHorz = 5,
    flexGridRaisedHorz = 6,
    flexGridSkipHorz = 7,
    flexGridFlatVert = 8,
    flexGridInsetVert = 9,
    flexGridRaisedVert = 10,
    flexGridSkipVert = 11,
    flexGridExplorer = 12,
    flexGridExcel = 13,
};

// Cell and column alignment; the first nine double as wallpaper alignments.
enum AlignmentSettings : int {
    flexAlignLeftTop = 0,
    flexAlignLeftCenter = 1,
    flexAlignLeftBottom = 2,
    flexAlignCenterTop = 3,
    flexAlignCenterCenter = 4,
    flexAlignCenterBottom = 5,
    flexAlignRightTop = 6,
    flexAlignRightCenter = 7,
    flexAlignRightBottom = 8,
    flexAlignGeneral = 9, // numbers right, text left, Booleans centred
};

enum PictureAlignmentSettings : int {
    flexPicAlignLeftTop = 0,
    flexPicAlignLeftCenter = 1,
    flexPicAlignLeftBottom = 2,
    flexPicAlignCenterTop = 3,
    flexPicAlignCenterCenter = 4,
    flexPicAlignCenterBottom = 5,
    flexPicAlignRightTop = 6,
    flexPicAlignRightCenter = 7,
    flexPicAlignRightBottom = 8,
    flexPicAlignStretch = 9,
    flexPicAlignTile = 10,
};

// Properties reachable through Cell(property, r1, c1, r2, c2).
enum CellPropertySettings : int {
    flexcpText = 0,          // the stored text
    flexcpTextDisplay = 1,   // the text as shown (column format applied); read only
    flexcpValue = 2,         // the number in the cell (ValueMatrix); read only
    flexcpAlignment = 3,
    flexcpPicture = 4,       // QPixmap or QIcon; an invalid QVariant clears
    flexcpPictureAlignment = 5,
    flexcpChecked = 6,       // check-box state of a Boolean cell: flexChecked / flexUnchecked
    flexcpBackColor = 7,     // 0x00BBGGRR
    flexcpForeColor = 8,
    flexcpFontName = 9,
    flexcpFontSize = 10,
    flexcpFontBold = 11,
    flexcpFontItalic = 12,
    flexcpFontUnderline = 13,
    flexcpFontStrikethru = 14,
    flexcpLeft = 15,         // geometry in twips, relative to the grid; read only
    flexcpTop = 16,
    flexcpWidth = 17,
    flexcpHeight = 18,
};

enum CheckedSettings : int { flexNoCheckbox = 0, flexChecked = 1, flexUnchecked = 2 };

enum SubtotalSettings : int {
    flexSTNone = 0,
    flexSTClear = 1,   // removes every subtotal row
    flexSTSum = 2,
    flexSTCount = 3,
    flexSTAverage = 4,
    flexSTMax = 5,
    flexSTMin = 6,
    flexSTStd = 7,
    flexSTVar = 8,
};

enum SortSettings : int {
    flexSortNone = 0,
    flexSortGenericAscending = 1,
    flexSortGenericDescending = 2,
    flexSortNumericAscending = 3,
    flexSortNumericDescending = 4,
    flexSortStringNoCaseAscending = 5,
    flexSortStringNoCaseDescending = 6,
    flexSortStringAscending = 7,
    flexSortStringDescending = 8,
    flexSortUseColSort = 9, // each column by its ColSort
};

// Column data types, the classic variant codes (11 Boolean shows check boxes).
enum DataTypeSettings : int {
    flexDTEmpty = 0,
    flexDTNull = 1,
    flexDTShort = 2,
    flexDTLong = 3,
    flexDTSingle = 4,
    flexDTDouble = 5,
    flexDTCurrency = 6,
    flexDTDate = 7,
    flexDTString = 8,
    flexDTBoolean = 11,
    flexDTVariant = 12,
    flexDTDecimal = 14,
    flexDTLong8 = 20,
};

enum SelectionModeSettings : int {
    flexSelectionFree = 0,
    flexSelectionByRow = 1,
    flexSelectionByColumn = 2,
    flexSelectionListBox = 3, // whole rows, several at once (IsSelected / SelectedRows)
};

enum AllowUserResizeSettings : int { flexResizeNone = 0, flexResizeColumns = 1, flexResizeRows = 2, flexResizeBoth = 3 };

// Header behaviour: bit 1 sorts on click, bit 2 lets the user drag columns, bit 4 shows the
// sort picture.
enum ExplorerBarSettings : int {
    flexExNone = 0,
    flexExSort = 1,
    flexExMove = 2,
    flexExSortAndMove = 3,
    flexExSortShow = 5,
    flexExSortShowAndMove = 7,
};

enum EditableSettings : int { flexEDNone = 0, flexEDKbd = 1, flexEDKbdMouse = 2 };

enum MergeSettings : int {
    flexMergeNever = 0,
    flexMergeFree = 1,            // any equal neighbours of merging rows/columns
    flexMergeRestrictRows = 2,    // a row merges only where the row above merges too
    flexMergeRestrictColumns = 3, // a column merges only where the column to its left merges too
    flexMergeRestrictAll = 4,
    flexMergeFixedOnly = 5,       // only the fixed rows and columns
};

// DataMode: 0 copies the recordset's rows into the grid when it is bound; 4 views the recordset
// and fetches rows on demand, copying nothing.
enum DataModeSettings : int { flexDMFree = 0, flexDMBound = 4 };

// What SaveGrid writes and LoadGrid reads.
enum SaveLoadSettings : int {
    flexFileAll = 0,    // cells and layout (column widths, hidden columns, fixed rows and columns)
    flexFileData = 1,   // cell texts only
    flexFileFormat = 2, // layout only
};

enum RedrawSettings : int { flexRDNone = 0, flexRDDirect = 1, flexRDBuffered = 2 };

// Mouse buttons and shift state of the mouse and key events.
enum MouseButtonConstants : int { vbLeftButton = 1, vbRightButton = 2, vbMiddleButton = 4 };
enum ShiftConstants : int { vbShiftMask = 1, vbCtrlMask = 2, vbAltMask = 4 };

// A colour value meaning "not set" (the grid's own colour applies).
inline constexpr quint32 NoColor = 0xFFFFFFFFu;

// Errors of the grid's members, one family: a row or column out of range is a GridRangeError, an
// argument the member does not take a GridArgumentError, a file or picture that cannot be written
// or read a plain GridError. Each message names the member.
class PLATFORM_EXPORT GridError : public std::runtime_error {
public:
    explicit GridError(const QString &message);
    explicit GridError(const char *message)
        : GridError(QString::fromUtf8(message))
    {
    }
    explicit GridError(const std::string &message)
        : GridError(QString::fromStdString(message))
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

class PLATFORM_EXPORT GridRangeError : public GridError {
public:
    using GridError::GridError;
};

class PLATFORM_EXPORT GridArgumentError : public GridError {
public:
    using GridError::GridError;
};

} // namespace grid
