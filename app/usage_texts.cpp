// The usage texts.
#include "app/usage_texts.h"

namespace app {

const std::string_view kUsageTexts[3] = {
    "Usage: TESSLY -<command> -<options> <full_path_of_archive> <full_path_of_files_to_add | path_to_extract>\r\r<Commands>\r-a           Add files to archive\r-e[t|s]      Extract files from archive\r-tosfx      Convert archive to SFX archive\r-tozip      Convert SFX archive to Zip archive\r-tospan   Span already existing ZIP archive to smaller archives ...\r\r                             Press ENTER to continue ...",
    "<Options>\r\r-c<0..4>          Set compression level - only ZIP and BH files\r-s                    Save full path names\r-u                    When adding files (use update method) - only ZIP files\r-f                     When adding files (use freshen method) - only ZIP files\r-m                   Move files\r-v                    Create volumes with size autodetection - only ZIP files\r-v<size>          Create volumes with size=<size>*1024 bytes - only ZIP files\r\r                             Press ENTER to continue ...",
    "<Examples>\r\rTESSLY -a -c4 -u c:\\PICS.ZIP c:\\*.gif\r  add *.GIF files from c:\\ directory to archive c:\\PICS.ZIP  !!! you must specify full path of files to add !!!\r\rTESSLY -es c:\\DOC.ZOO\r  extract all files from c:\\DOC.ZOO to DOC\\ subfolder",
};

}  // namespace app
