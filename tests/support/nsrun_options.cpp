// Command-line rules of nsrun. The overlay paths end up inside a mount option
// string, where "," and ":" separate values, so such paths are refused here
// rather than silently mounting something else.

#include "tests/support/nsrun_options.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ParseSeconds(const std::string& text, int64_t* seconds) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value > 24LL * 3600 * 365) return false;
  *seconds = value;
  return true;
}

bool UsableOverlayPath(const std::string& path) {
  return path.size() > 1 && path[0] == '/' && path.find_first_of(",:") == std::string::npos;
}

bool ParseOverlay(const std::string& text, TNsrunOverlay* overlay, std::string* error) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) {
    *error = "--overlay wants DIR:UPPERBASE, got '" + text + "'";
    return false;
  }
  overlay->dir = text.substr(0, colon);
  overlay->upper_base = text.substr(colon + 1);
  while (overlay->dir.size() > 1 && overlay->dir.back() == '/') overlay->dir.pop_back();
  while (overlay->upper_base.size() > 1 && overlay->upper_base.back() == '/') {
    overlay->upper_base.pop_back();
  }
  if (!UsableOverlayPath(overlay->dir) || !UsableOverlayPath(overlay->upper_base)) {
    *error = "--overlay paths must be absolute, not '/', and free of ',' and ':': '" + text + "'";
    return false;
  }
  return true;
}

}  // namespace

bool ParseNsrunArgs(const std::vector<std::string>& args, TNsrunOptions* options,
                    std::string* error) {
  *options = TNsrunOptions();
  bool mount_only = false;
  bool net = false;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      ++i;
      break;
    }
    if (arg.empty() || arg[0] != '-') break;
    if (arg == "--help" || arg == "-h") {
      options->help = true;
      return true;
    } else if (arg == "--net") {
      net = true;
    } else if (arg == "--mount-only") {
      mount_only = true;
    } else if (arg == "--overlay" || arg == "--timeout") {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      const std::string& value = args[++i];
      if (arg == "--timeout") {
        if (!ParseSeconds(value, &options->timeout_seconds)) {
          *error = "--timeout wants a whole number of seconds, got '" + value + "'";
          return false;
        }
      } else {
        TNsrunOverlay overlay;
        if (!ParseOverlay(value, &overlay, error)) return false;
        for (const TNsrunOverlay& other : options->overlays) {
          if (other.upper_base == overlay.upper_base) {
            *error = "two overlays cannot share the upper base " + overlay.upper_base;
            return false;
          }
          if (other.dir == overlay.dir) {
            *error = "the directory " + overlay.dir + " is overlaid twice";
            return false;
          }
        }
        options->overlays.push_back(overlay);
      }
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  options->command.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
  if (options->command.empty()) {
    *error = "no command given";
    return false;
  }
  if (mount_only) {
    options->new_pid = false;
    options->new_net = net;
  }
  return true;
}

std::string NsrunUsage() {
  return "Usage: nsrun [OPTION]... [--] COMMAND [ARG]...\n"
         "Runs COMMAND as root inside private namespaces and removes every process\n"
         "it left behind when it ends.\n"
         "\n"
         "By default COMMAND gets a private mount namespace (propagation private),\n"
         "a new PID namespace whose PID 1 is nsrun itself (with a fresh /proc), and a\n"
         "new network namespace holding only the loopback interface, brought up.\n"
         "PID 1 reaps every orphan until COMMAND exits, then kills all processes\n"
         "left in the namespace.\n"
         "\n"
         "Options:\n"
         "  --mount-only          only a private mount namespace: no PID namespace,\n"
         "                        no fresh /proc, the host's network (unless --net)\n"
         "  --net                 a private network namespace with loopback up (the\n"
         "                        default; with --mount-only, adds it back)\n"
         "  --overlay DIR:UPPER   shows DIR through an overlay: reads come from DIR,\n"
         "                        writes land in UPPER/upper (work dir UPPER/work,\n"
         "                        both created when missing); repeatable, each with\n"
         "                        its own UPPER\n"
         "  --timeout SECONDS     kills COMMAND after SECONDS (default 300; 0: none)\n"
         "  -h, --help            prints this text\n"
         "\n"
         "Exit status: that of COMMAND, 128+N when it was killed by signal N (137\n"
         "after the time limit), 126 when it cannot be executed, 127 when it is not\n"
         "found, 125 when nsrun itself fails.\n";
}
