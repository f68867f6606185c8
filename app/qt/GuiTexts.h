#pragma once
// Captions, labels and button texts of the desktop pages and dialogs. Messages (boxes and
// their questions) come from the shared string table; these are the words on the widgets.
namespace GuiText {

inline constexpr const char* kAppTitle = "Vellumar";
inline constexpr const char* kTabHome = "Home";
inline constexpr const char* kTabRecover = "Recover";
inline constexpr const char* kTabCaseStudy = "Case Study";

// Menu bar and About.
inline constexpr const char* kMenuFile = "&File";
inline constexpr const char* kMenuAddImage = "&Add disk image...";
inline constexpr const char* kMenuCreateImage = "&Create disk image...";
inline constexpr const char* kMenuResume = "&Resume a saved scan";
inline constexpr const char* kMenuQuit = "&Quit";
inline constexpr const char* kMenuHelp = "&Help";
inline constexpr const char* kMenuCaseStudy = "&Case Study";
inline constexpr const char* kMenuAbout = "&About Vellumar";
inline constexpr const char* kAboutTitle = "About Vellumar";
inline constexpr const char* kAboutText =
    "Recovers deleted and lost files from FAT and NTFS volumes, partitioned disks and disk images. "
    "Disks and images are only ever read, never written.";
inline constexpr const char* kAboutLicence =
    "Licence: all rights reserved by the Vellumar developers; no licence to copy or redistribute is "
    "granted yet. Built with Qt 6, used under the GNU LGPL version 3.";

// Start page.
inline constexpr const char* kStartHeading = "Choose a recovery module";
inline constexpr const char* kWizardButton = "Recovery Wizard";
inline constexpr const char* kWizardDescription =
    "Not sure which module fits? The wizard asks a few questions and starts the scan.";
inline constexpr const char* kSettingButton = "Setting";
inline constexpr const char* kInfoPanel =
    "Vellumar reads your disks without ever writing to them. Save recovered files to another drive.";

// Setting dialog.
inline constexpr const char* kSettingTitle = "Setting";
inline constexpr const char* kInitDynamic = "Initiate Dynamic Volume";
inline constexpr const char* kInitBasic = "Initiate Basic Volume";

// Wizard.
inline constexpr const char* kWizardTitle = "Recovery Wizard";
inline constexpr const char* kWizardBack = "< Back";
inline constexpr const char* kWizardNext = "Next >";
inline constexpr const char* kCancel = "&Cancel";
inline constexpr const char* kWizardWelcome =
    "Welcome to the Recovery Wizard.\n\nThe wizard helps you to recover lost files in a few steps: choose the "
    "device or volume that held the files, choose whether to search files by their internal format (Deep "
    "Scan), check the summary and start the scan.\n\nNothing is ever written to the device you recover from.";
inline constexpr const char* kWizardSelectDevice = "Select the device you want to recover:";
inline constexpr const char* kWizardDeviceNote =
    "Please select the physical device if you cannot find the volume you would like to recover.";
inline constexpr const char* kWizardOnlyDeletion = "Only recover files lost by accidental deletion.";
inline constexpr const char* kDeepScanSetting = "Deep Scan Setting";
inline constexpr const char* kUseDeepScan = "Use Deep Scan function";
inline constexpr const char* kNoDeepScan = "Do not use Deep Scan function";
inline constexpr const char* kDeepScanOnly = "Use Deep Scan only";
inline constexpr const char* kSummarySelected = "Selected Device:";
inline constexpr const char* kSummaryType = "Device Type:";
inline constexpr const char* kSummaryModule = "Recovery Module:";
inline constexpr const char* kSummaryReady = "The Recovery Wizard is ready to scan the device: click Next to continue.";

// Device page.
inline constexpr const char* kRecoverButton = "&Recover";
inline constexpr const char* kFullScanButton = "&Full Scan";
inline constexpr const char* kOpenButton = "&Open";
inline constexpr const char* kRefreshButton = "Refresh &list";
inline constexpr const char* kBackButton = "&Back";
inline constexpr const char* kAddImageButton = "Add disk &image...";
inline constexpr const char* kAddImageTitle = "Add a disk image";
inline constexpr const char* kImageFilter = "Disk images (*.img *.dd *.raw *.bin *.iso *.vhd);;All files (*)";
inline constexpr const char* kNeedAdmin =
    "The disks of this computer can only be read with administrator rights. Click \"Read the computer's "
    "disks...\" and give an administrator password: the disks are only read, never written. Disk images can "
    "always be recovered: use \"Add disk image...\".";
inline constexpr const char* kAdminUnavailable =
    "The disks of this computer can only be read with administrator rights, and they cannot be asked for "
    "here: pkexec (polkit) or Vellumar's device helper is not installed. Start Vellumar as root to read the "
    "disks, or recover a disk image with \"Add disk image...\".";
inline constexpr const char* kAdminRefused =
    "Administrator rights were not given, so the disks of this computer cannot be read. Click \"Try again\" "
    "to be asked once more, or recover a disk image with \"Add disk image...\".";
inline constexpr const char* kAdminButton = "Read the computer's &disks...";
inline constexpr const char* kAdminRetryButton = "Try &again";

// Partition page.
inline constexpr const char* kShowFiles = "&Show Files";
inline constexpr const char* kSaveScanResult = "Save s&can result";
inline constexpr const char* kBackToDevices = "&Back to Devices List";
inline constexpr const char* kSaveResultTitle = "Save Scan Result";
inline constexpr const char* kPathName = "Path name:";
inline constexpr const char* kBrowse = "...";
inline constexpr const char* kResultFilter = "Scan results (*.rrs)";

// File list.
inline constexpr const char* kSaveFiles = "&Save Files";
inline constexpr const char* kFindFile = "&Find file";
inline constexpr const char* kFilter = "Fi&lter";
inline constexpr const char* kExportList = "&Export files list...";
inline constexpr const char* kSelectHint = "Select files to recover.";
inline constexpr const char* kTotalFiles = "Total Files";
inline constexpr const char* kSelectFiles = "Select Files";
inline constexpr const char* kPreviewMenu = "Preview";
inline constexpr const char* kViewText = "View as &Text";
inline constexpr const char* kViewImage = "View as &Image";
inline constexpr const char* kViewMedia = "View as &Video/Audio";
inline constexpr const char* kLegendDeletedFile = "Deleted File:";
inline constexpr const char* kLegendDeletedFolder = "Deleted Folder:";
inline constexpr const char* kLegendLostFolder = "Lost Folder:";
inline constexpr const char* kLegendCompressed = "Blue for NTFS compressed files.";
inline constexpr const char* kLegendEncrypted = "Green for NTFS encrypted files.";
inline constexpr const char* kColType = "Type";
inline constexpr const char* kExportFilter = "Text files (*.txt)";
inline constexpr const char* kHoldsDeleted = "Holds deleted files";
inline constexpr const char* kDeletedOnly = "&Deleted files only";
inline constexpr const char* kShowKind = "Show:";
inline constexpr const char* kSearchHint = "Search names...";
inline constexpr const char* kThumbnails = "T&humbnails";
inline constexpr const char* kKindAll = "All files";
inline constexpr const char* kKindPictures = "Pictures";
inline constexpr const char* kKindDocuments = "Documents";
inline constexpr const char* kKindAudio = "Audio";
inline constexpr const char* kKindVideo = "Video";
inline constexpr const char* kKindArchives = "Archives";
inline constexpr const char* kKindOther = "Other";

// Resume page.
inline constexpr const char* kContinue = "&Continue...";
inline constexpr const char* kLoadFromFile = "&Load from file...";

// Scanning windows.
inline constexpr const char* kScanningTitle = "Scanning device...";

// Deep scan setting.
inline constexpr const char* kDeepScanTitle = "Deep Scan Recovery";
inline constexpr const char* kDeepScanMore = "Click here for more information.";

// Saving.
inline constexpr const char* kSaveSettingTitle = "Recovery Path Setting";
inline constexpr const char* kTargetFolder = "Save the selected files to:";
inline constexpr const char* kFreeSpace = "Free space:";
inline constexpr const char* kRequiredSpace = "Required space:";
inline constexpr const char* kSavingTitle = "Saving Files...";
inline constexpr const char* kSelectedFilesLabel = "Selected files:";
inline constexpr const char* kRecoveredFilesLabel = "Recovered files:";
inline constexpr const char* kCurrentFileLabel = "Current file:";

// Filter.
inline constexpr const char* kFilterTitle = "Advanced filter";
inline constexpr const char* kByName = "By Filename/Extension:";
inline constexpr const char* kBySize = "By Size:";
inline constexpr const char* kSizeFrom = "From";
inline constexpr const char* kSizeTo = "to";
inline constexpr const char* kKB = "KB";
inline constexpr const char* kByDate = "By Date:";
inline constexpr const char* kCreated = "Created";
inline constexpr const char* kModified = "Modified";
inline constexpr const char* kShowDeleted = "Show deleted files.";
inline constexpr const char* kShowNormal = "Show normal files.";
inline constexpr const char* kUseFilter = "Use filter";
inline constexpr const char* kNoFilter = "Do not use filter";

// Find.
inline constexpr const char* kFindTitle = "Find files";
inline constexpr const char* kFindName = "File Name:";
inline constexpr const char* kMatchCase = "Match case";
inline constexpr const char* kMatchWord = "Match whole name";
inline constexpr const char* kFindNext = "&Find Next";
inline constexpr const char* kClose = "&Close";

// Add a disk image (with its rescue map).
inline constexpr const char* kImageFile = "Disk image:";
inline constexpr const char* kMapFile = "Rescue map (optional):";
inline constexpr const char* kMapHint =
    "Give the map written when the image was made from a failing disk: the areas it could not read are then "
    "treated as unreadable instead of as zeros.";
inline constexpr const char* kMapFilter = "Rescue maps (*.map *.mapfile *.log);;All files (*)";

// Create a disk image.
inline constexpr const char* kImagingTitle = "Create disk image";
inline constexpr const char* kImagingIntro =
    "Copies a device or volume sector by sector into an image file, reading each area once and keeping a map "
    "of what was read. Recover from the image afterwards; a stopped run goes on where it stopped when started "
    "again with the same map.";
inline constexpr const char* kImagingSource = "Source:";
inline constexpr const char* kImagingTarget = "Image file:";
inline constexpr const char* kImagingRetries = "Retry passes over bad areas:";
inline constexpr const char* kImagingRescued = "Rescued:";
inline constexpr const char* kImagingBad = "Bad areas:";
inline constexpr const char* kImagingRate = "Rate:";
inline constexpr const char* kImagingRemaining = "Remaining Time:";
inline constexpr const char* kImagingStart = "&Start";
inline constexpr const char* kImagingStop = "S&top";
inline constexpr const char* kImagingNoSource = "Choose the device or volume to copy.";
inline constexpr const char* kImagingNoMap =
    "Without a rescue map a stopped run cannot be continued. Copy without a map?";
inline constexpr const char* kImagingDone = "Done: '%1' is a complete image of %2.";
inline constexpr const char* kImagingPartial =
    "Done: '%1' holds every readable sector; %2 in %3 areas could not be read.";
inline constexpr const char* kImagingStopped = "Stopped. Start again with the same map to go on where it stopped.";
inline constexpr const char* kImagingStoppedNoMap = "Stopped. Without a rescue map this run cannot be continued.";
inline constexpr const char* kImagingFilter = "Raw disk images (*.img *.dd *.raw);;All files (*)";

// File list: all files in one list.
inline constexpr const char* kAllFilesView = "All files";
inline constexpr const char* kColPath = "Path";

} // namespace GuiText
