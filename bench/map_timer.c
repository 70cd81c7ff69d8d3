/* map_timer: starts a program and measures, from outside it, the time until
 * its first top-level window whose title contains a given text is mapped on
 * the X server and the time until the program first paints into it (the
 * first frame the user sees), and optionally its resident memory some time
 * later.
 *
 *   map_timer [--title TEXT] [--timeout MS] [--rss-after MS] -- PROGRAM ARGS...
 *
 * Prints one line "map_ms=<ms> paint_ms=<ms> rss_kb=<kB>" (paint_ms where
 * the X server has the DAMAGE extension, rss_kb only with --rss-after)
 * and stops the program with SIGTERM (SIGKILL after a second). Exit status 0
 * on success, 2 on a usage error, 3 when no such window appeared in time.
 * The program under test is not changed in any way: the harness watches the
 * root window's SubstructureNotify events (no window manager runs under
 * Xvfb, so top-level windows are the root's children), watches each new
 * top-level window's damage (drawing into it) from its creation on, and
 * reads /proc/PID/status. */
#define _POSIX_C_SOURCE 200809L
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#ifdef QUILLON_HAVE_XDAMAGE
#include <X11/extensions/Xdamage.h>
#endif
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double NowMs(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1.0e6;
}

/* The window's title from _NET_WM_NAME (UTF-8) or WM_NAME; "" when none.
 * The caller frees the result. */
static char* WindowTitle(Display* display, Window window) {
  Atom net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = NULL;
  if (XGetWindowProperty(display, window, net_wm_name, 0, 1024, False, utf8, &type, &format,
                         &count, &after, &data) == Success && data != NULL && count > 0) {
    char* title = strdup((const char*)data);
    XFree(data);
    return title;
  }
  if (data != NULL) XFree(data);
  char* name = NULL;
  if (XFetchName(display, window, &name) && name != NULL) {
    char* title = strdup(name);
    XFree(name);
    return title;
  }
  return strdup("");
}

static long ResidentKb(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  FILE* file = fopen(path, "r");
  if (file == NULL) return -1;
  char line[256];
  long kb = -1;
  while (fgets(line, sizeof line, file) != NULL) {
    if (strncmp(line, "VmRSS:", 6) == 0) {
      kb = strtol(line + 6, NULL, 10);
      break;
    }
  }
  fclose(file);
  return kb;
}

static void SleepMs(double ms) {
  struct timespec ts = {(time_t)(ms / 1000), (long)((ms - 1000.0 * (time_t)(ms / 1000)) * 1.0e6)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

static void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid, NULL, WNOHANG) == pid) return;
    SleepMs(10);
  }
  kill(pid, SIGKILL);
  waitpid(pid, NULL, 0);
}

static int IgnoreXErrors(Display* display, XErrorEvent* error) {
  (void)display;
  (void)error; /* a window may vanish between its MapNotify and our query */
  return 0;
}

int main(int argc, char** argv) {
  const char* title = "";
  double timeout_ms = 20000;
  double rss_after_ms = -1;
  int i = 1;
  for (; i < argc; ++i) {
    if (strcmp(argv[i], "--") == 0) {
      ++i;
      break;
    } else if (strcmp(argv[i], "--title") == 0 && i + 1 < argc) {
      title = argv[++i];
    } else if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      timeout_ms = atof(argv[++i]);
    } else if (strcmp(argv[i], "--rss-after") == 0 && i + 1 < argc) {
      rss_after_ms = atof(argv[++i]);
    } else {
      fprintf(stderr, "usage: map_timer [--title TEXT] [--timeout MS] [--rss-after MS] -- PROGRAM ARGS...\n");
      return 2;
    }
  }
  if (i >= argc) {
    fprintf(stderr, "map_timer: no program given\n");
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (display == NULL) {
    fprintf(stderr, "map_timer: cannot open the X display\n");
    return 2;
  }
  XSetErrorHandler(IgnoreXErrors);
  Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  double start = NowMs();
  pid_t pid = fork();
  if (pid < 0) {
    perror("map_timer: fork");
    return 2;
  }
  if (pid == 0) {
    close(ConnectionNumber(display));
    execvp(argv[i], argv + i);
    perror("map_timer: exec");
    _exit(127);
  }

  /* Each top-level window's first drawing, watched from its creation so that
   * a paint right after the mapping is not missed. */
  enum { kMaxWindows = 64 };
  Window windows[kMaxWindows];
  double first_paint[kMaxWindows];
  int window_count = 0;
  int damage_events = -1;
#ifdef QUILLON_HAVE_XDAMAGE
  int damage_errors = 0;
  if (!XDamageQueryExtension(display, &damage_events, &damage_errors)) damage_events = -1;
#endif

  double mapped = -1, painted = -1;
  Window target = None;
  int fd = ConnectionNumber(display);
  while (mapped < 0 || (damage_events >= 0 && painted < 0)) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      const double now = NowMs();
#ifdef QUILLON_HAVE_XDAMAGE
      if (damage_events >= 0 && event.type == CreateNotify && window_count < kMaxWindows) {
        XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
        windows[window_count] = event.xcreatewindow.window;
        first_paint[window_count++] = -1;
        continue;
      }
      if (damage_events >= 0 && event.type == damage_events + XDamageNotify) {
        const XDamageNotifyEvent* damage = (const XDamageNotifyEvent*)&event;
        for (int w = 0; w < window_count; ++w)
          if (windows[w] == damage->drawable && first_paint[w] < 0) first_paint[w] = now;
        XDamageSubtract(display, damage->damage, None, None);
        continue;
      }
#endif
      if (event.type != MapNotify || mapped >= 0) continue;
      char* name = WindowTitle(display, event.xmap.window);
      if (strstr(name, title) != NULL) {
        mapped = now;
        target = event.xmap.window;
      }
      free(name);
    }
    for (int w = 0; w < window_count && mapped >= 0 && painted < 0; ++w)
      if (windows[w] == target && first_paint[w] >= 0) painted = first_paint[w];
    if (mapped >= 0 && (damage_events < 0 || painted >= 0)) break;
    double left = timeout_ms - (NowMs() - start);
    if (left <= 0 || waitpid(pid, NULL, WNOHANG) == pid) break;
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(fd, &fds);
    struct timeval tv = {0, 20000}; /* wake up now and then to notice an early exit */
    if (select(fd + 1, &fds, NULL, NULL, &tv) < 0 && errno != EINTR) break;
  }
  if (mapped < 0) {
    fprintf(stderr, "map_timer: no window titled \"%s\" was mapped\n", title);
    Stop(pid);
    return 3;
  }
  printf("map_ms=%.1f", mapped - start);
  if (painted >= 0) printf(" paint_ms=%.1f", painted - start);
  if (rss_after_ms >= 0) {
    SleepMs(rss_after_ms);
    printf(" rss_kb=%ld", ResidentKb(pid));
  }
  printf("\n");
  fflush(stdout);
  Stop(pid);
  XCloseDisplay(display);
  return 0;
}
