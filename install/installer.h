// The interactive installation run of the `install` program.
#ifndef VOLTMON_INSTALL_INSTALLER_H_
#define VOLTMON_INSTALL_INSTALLER_H_

// The fixed installation directory, with its trailing "/".
extern const char kInstallRoot[];

// The whole program: "-h" or "--help" anywhere among the arguments prints the
// usage; else "-v" and "-cr" anywhere print the version block and the
// credits (in that order) instead of installing;
// otherwise the interactive installation from the packet beside the
// program. Returns the exit status, which is 0 on every path.
int InstallerMain(int argc, char** argv);

#endif  // VOLTMON_INSTALL_INSTALLER_H_
