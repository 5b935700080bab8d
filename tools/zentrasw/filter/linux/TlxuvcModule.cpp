// Stand-in for the outside DirectShow filter on Linux. The programs only ask
// whether the module loads, so it needs no code of its own beyond a mark
// that tells it apart from other modules.
extern "C" const char *TlxuvcModuleName(void)
{
    return "tlxuvc stand-in";
}
