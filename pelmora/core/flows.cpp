#include "flows.h"
#include "designer.h"
#include "dirlist.h"
#include "display.h"
#include "editor.h"
#include "filedialog.h"
#include "msgbox.h"
#include "png.h"
#include "pngexport.h"
#include "screen.h"
#include "texscript.h"

#include <cctype>
#include <string>

// A reason from the file layer ("cannot open x.tx: ...") as a sentence.
static std::string sentence(const char *reason)
{
    std::string s = reason[0] ? reason : "unknown error";
    s[0] = char(std::toupper(static_cast<unsigned char>(s[0])));
    if (s.back() != '.')
        s += '.';
    return s;
}

static void report(const char *title, const char *reason)
{
    showmessage(title, sentence(reason), messageok, true);
}

// A script that does not load leaves everything as it was. One that loads
// replaces the texture and its compiled expression (none when it does not
// compile: the screen then shows why), and the preview is built anew.
void loadflow()
{
    flipgdi();
    const char *path = choosefile("Load texture script...", texturefilters, "TX");
    if (!path)
        return;
    char why[texwhysize];
    if (!loaddesign(path, why, sizeof why)) {
        report("Cannot load texture script", why);
        return;
    }
    screen.rebuild = 1;
    screen.rendernow = 1;
    editor.modified = 0;
}

void saveflow()
{
    flipgdi();
    const char *path = choosesavefile("Save texture script...", texturefilters, "TX");
    if (path && !savetexture(path))
        report("Cannot save texture script", texscripts.why);
}

// The dialog proposes the last script's name without its extension, in
// its folder. Only the name is cut: a "." in a folder's name is no
// extension, and a name without any "." is proposed empty.
void pngflow()
{
    flipgdi();
    char *name = filedialog.filename + (lastpart(filedialog.filename) - filedialog.filename);
    *fileextension(name) = 0;
    const char *path = choosesavefile("Save PNG...", pngfilters, "PNG");
    pngwriter writer;
    if (path && !exportpreview(writer, path))
        report("Cannot save PNG", writer.message);
}
