// The floor the console is measured against: the least an ncurses program
// does to show a menu. One boxed window of ten entries on a coloured screen;
// the arrows move the highlight, Enter or ESC ends it. ESC answers after
// 25 ms unless ESCDELAY is set, as in the console.
#include <curses.h>
#include <stdlib.h>

namespace {

constexpr int kEntries = 10;
constexpr int kWidth = 40;

void Draw(WINDOW* menu, int selected) {
  for (int i = 0; i < kEntries; ++i) {
    if (i == selected) wattron(menu, A_REVERSE);
    mvwprintw(menu, i + 1, 2, " Entry %-2d %*s", i + 1, kWidth - 15, "");
    if (i == selected) wattroff(menu, A_REVERSE);
  }
  wrefresh(menu);
}

}  // namespace

int main() {
  if (getenv("ESCDELAY") == nullptr) set_escdelay(25);
  if (initscr() == nullptr) return 1;
  cbreak();
  noecho();
  curs_set(0);
  if (has_colors()) {
    start_color();
    init_pair(1, COLOR_WHITE, COLOR_BLUE);
    bkgd(COLOR_PAIR(1));
  }
  refresh();
  WINDOW* menu = newwin(kEntries + 2, kWidth, (LINES - kEntries - 2) / 2, (COLS - kWidth) / 2);
  keypad(menu, TRUE);
  box(menu, 0, 0);
  int selected = 0;
  Draw(menu, selected);
  for (;;) {
    const int key = wgetch(menu);
    if (key == 27 || key == '\n' || key == ERR) break;
    if (key == KEY_DOWN && selected < kEntries - 1) ++selected;
    if (key == KEY_UP && selected > 0) --selected;
    Draw(menu, selected);
  }
  delwin(menu);
  endwin();
  return 0;
}
