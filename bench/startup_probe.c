// One cold start of a browser, timed from the X server's side: the probe
// execs the command itself, then reports when its first top-level window
// became viewable, when a given area of that window first showed a given
// colour on the screen, and the PSS of its whole process tree some time
// later. With --tray-wait it also hides the window by a left click on its
// tray icon, takes the PSS after that wait and times the page's return on
// the next click. It reads what the screen shows, so it works the same for
// any program; it knows nothing of how the program draws.
//
// usage: startup_probe [options] -- COMMAND [ARGS...]
//   --area X,Y,W,H    window-relative box polled for the page's colour
//                     (negative X or Y count from the right or bottom edge)
//   --color RRGGBB    the colour every pixel of the box must have
//   --frame-area X,Y,W,H, --frame-color RRGGBB
//                     a box of the program's own frame and its colour: the
//                     moment it shows is the frame painted (frame_ms)
//   --calibrate FILE  instead of timing the colour: wait until the window
//                     has been still for 2 s, print each box's commonest
//                     colour and share, and write the window's image to FILE
//                     (PPM)
//   --pss-after MS    PSS taken this long after the page appeared (3000)
//   --tray-icon CLASS the WM_CLASS instance of the icon inside trayer
//   --tray-wait S     seconds hidden before the PSS is taken; after the
//                     page is back the box is watched 3 s for blinks
//   --timeout S       for each thing waited for (60)
//   --shots PREFIX    the window's image just after the page appeared
//                     (PREFIX-painted.ppm) and after it came back
//                     (PREFIX-shown.ppm), to check what the box caught
// Prints key=value lines; a figure that was never reached is "-". exec_at is
// the moment of the exec on CLOCK_MONOTONIC, for lining up a program's own
// trace; procs lists each process's command name, PSS and private dirty kB.
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dirent.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static Display* dpy;
static Window root;
static pid_t child;

static double now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static volatile sig_atomic_t stop;
static int ending;
static void end_tree(void);

// Every wait goes through here, so a run asked to stop ends its tree first.
static void sleep_ms(double ms) {
  if (stop && !ending) {
    end_tree();
    _exit(1);
  }
  if (ms <= 0) return;
  struct timespec ts = {(time_t)(ms / 1000), (long)((ms - (time_t)(ms / 1000) * 1000) * 1e6)};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR && (!stop || ending)) {
  }
}

static void on_stop(int sig) {
  (void)sig;
  stop = 1;
}

// Windows vanish under us all the time (menus, a program that quits): such
// errors are expected, and the calls that hit them report failure instead.
static int ignore_error(Display* d, XErrorEvent* e) {
  (void)d;
  (void)e;
  return 0;
}

// The display gone (the bench ended early): the tree is ended all the same.
static int display_lost(Display* d) {
  (void)d;
  end_tree();
  _exit(1);
}

// --- the process tree ---------------------------------------------------------

#define MAX_PIDS 4096

static int descendants(pid_t top, pid_t* out) {  // top first, then its descendants
  static pid_t pid[MAX_PIDS], ppid[MAX_PIDS];
  int n = 0, count = 0;
  DIR* proc = opendir("/proc");
  if (!proc) return 0;
  struct dirent* e;
  while ((e = readdir(proc)) && n < MAX_PIDS) {
    char path[300], buf[512];
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    snprintf(path, sizeof path, "/proc/%s/stat", e->d_name);
    FILE* f = fopen(path, "r");
    if (!f) continue;
    size_t len = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[len] = 0;
    // The command name may hold spaces and parentheses: the fields after it
    // start at the last ')'.
    char* close = strrchr(buf, ')');
    int parent;
    if (!close || sscanf(close + 1, " %*c %d", &parent) != 1) continue;
    pid[n] = atoi(e->d_name);
    ppid[n++] = parent;
  }
  closedir(proc);
  out[count++] = top;
  for (int i = 0; i < count; i++) {
    for (int j = 0; j < n; j++) {
      if (ppid[j] == out[i] && count < MAX_PIDS) out[count++] = pid[j];
    }
  }
  return count;
}

// PSS shares each page among all processes mapping it, so another WebKit
// program running on the machine lowers ours (and so does it the clean
// private figure, the engine's library pages turning shared). The dirty
// private pages are this tree's alone whatever else runs: reported beside
// PSS, with the count of other WebKit processes.
struct memory {
  long pss_kb, dirty_kb;
  int processes, foreign_webkit;
  char procs[1024];  // comm:pss:dirty,...
};

static void read_comm(const char* pid, char* comm, size_t size) {
  char path[300];
  snprintf(path, sizeof path, "/proc/%s/comm", pid);
  FILE* f = fopen(path, "r");
  comm[0] = 0;
  if (!f) return;
  if (!fgets(comm, (int)size, f)) comm[0] = 0;
  fclose(f);
  comm[strcspn(comm, "\n")] = 0;
  for (char* c = comm; *c; c++) {
    if (*c == ' ' || *c == ',' || *c == ':' || *c == '=') *c = '_';
  }
}

static struct memory tree_memory(pid_t top) {
  static pid_t tree[MAX_PIDS];
  int n = descendants(top, tree);
  struct memory m = {0, 0, 0, 0, ""};
  size_t used = 0;
  for (int i = 0; i < n; i++) {
    char path[64], line[256], pid[16], comm[64];
    snprintf(path, sizeof path, "/proc/%d/smaps_rollup", (int)tree[i]);
    FILE* f = fopen(path, "r");
    if (!f) continue;
    long kb, pss = 0, dirty = 0;
    while (fgets(line, sizeof line, f)) {
      if (sscanf(line, "Pss: %ld kB", &kb) == 1) {
        pss = kb;
        ++m.processes;
      } else if (sscanf(line, "Private_Dirty: %ld kB", &kb) == 1) {
        dirty = kb;
      }
    }
    fclose(f);
    m.pss_kb += pss;
    m.dirty_kb += dirty;
    snprintf(pid, sizeof pid, "%d", (int)tree[i]);
    read_comm(pid, comm, sizeof comm);
    if (used < sizeof m.procs) {
      used += (size_t)snprintf(m.procs + used, sizeof m.procs - used, "%s%s:%ld:%ld",
                               used ? "," : "", comm[0] ? comm : "?", pss, dirty);
    }
  }
  DIR* proc = opendir("/proc");
  struct dirent* e;
  while (proc && (e = readdir(proc))) {
    char comm[64];
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    read_comm(e->d_name, comm, sizeof comm);
    if (strncmp(comm, "WebKit", 6) != 0) continue;
    int ours = 0;
    for (int i = 0; i < n && !ours; i++) ours = tree[i] == atoi(e->d_name);
    m.foreign_webkit += !ours;
  }
  if (proc) closedir(proc);
  return m;
}

static void print_memory(const char* prefix, pid_t top) {
  struct memory m = tree_memory(top);
  printf("%spss_kb=%ld\n%sdirty_kb=%ld\n%sprocesses=%d\n%sforeign_webkit=%d\n%sprocs=%s\n", prefix,
         m.pss_kb, prefix, m.dirty_kb, prefix, m.processes, prefix, m.foreign_webkit, prefix,
         m.procs);
  fflush(stdout);
}

// Every process of the tree is asked to end, by its id, then made to. The
// probe is the tree's subreaper, so its own descendants are the whole tree,
// processes orphaned on the way included, and all are reaped here.
static void end_tree(void) {
  static pid_t tree[MAX_PIDS];
  ending = 1;
  int n = descendants(getpid(), tree);
  for (int i = 1; i < n; i++) kill(tree[i], SIGTERM);
  double deadline = now_ms() + 10000;
  while (now_ms() < deadline) {
    while (waitpid(-1, NULL, WNOHANG) > 0) {
    }
    if (descendants(getpid(), tree) == 1) return;
    sleep_ms(50);
  }
  n = descendants(getpid(), tree);
  for (int i = 1; i < n; i++) kill(tree[i], SIGKILL);
  while (waitpid(-1, NULL, 0) > 0) {
  }
}

// --- windows --------------------------------------------------------------------

static long window_pid(Window w) {
  static Atom net_wm_pid;
  if (!net_wm_pid) net_wm_pid = XInternAtom(dpy, "_NET_WM_PID", False);
  Atom type;
  int format;
  unsigned long items, rest;
  unsigned char* data = NULL;
  long pid = -1;
  if (XGetWindowProperty(dpy, w, net_wm_pid, 0, 1, False, XA_CARDINAL, &type, &format, &items,
                         &rest, &data) == Success &&
      data && items == 1 && format == 32) {
    pid = *(long*)data;
  }
  if (data) XFree(data);
  return pid;
}

// The program's own top-level window inside W (W itself, or the client a
// window manager's frame holds): one of our process's, big enough to be a
// main window rather than a tray icon waiting to dock.
static Window find_client(Window w, int depth) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a)) return 0;
  if (window_pid(w) == child && a.width >= 200 && a.height >= 200) return w;
  if (depth >= 3) return 0;
  Window r, p, *kids = NULL, found = 0;
  unsigned n = 0;
  if (!XQueryTree(dpy, w, &r, &p, &kids, &n)) return 0;
  for (unsigned i = 0; i < n && !found; i++) found = find_client(kids[i], depth + 1);
  if (kids) XFree(kids);
  return found;
}

static int viewable(Window w) {
  XWindowAttributes a;
  return XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable;
}

static Window find_class(Window w, const char* instance, const char* cls, int depth) {
  XClassHint hint;
  if (XGetClassHint(dpy, w, &hint)) {
    int match = (!instance || strcmp(hint.res_name, instance) == 0) &&
                (!cls || strcmp(hint.res_class, cls) == 0);
    XFree(hint.res_name);
    XFree(hint.res_class);
    if (match) return w;
  }
  if (depth >= 6) return 0;
  Window r, p, *kids = NULL, found = 0;
  unsigned n = 0;
  if (!XQueryTree(dpy, w, &r, &p, &kids, &n)) return 0;
  for (unsigned i = 0; i < n && !found; i++) found = find_class(kids[i], instance, cls, depth + 1);
  if (kids) XFree(kids);
  return found;
}

// A left click in the middle of the icon the program docked in trayer. The
// pointer arrives first, with a 1-pixel step as a hand's would; the time
// returned is that of the press, the release following at once. 0 when
// there is no icon.
static double click_tray_icon(const char* instance) {
  Window panel = find_class(root, NULL, "trayer", 0);
  Window icon = panel ? find_class(panel, instance, NULL, 0) : 0;
  XWindowAttributes a;
  if (!icon || !XGetWindowAttributes(dpy, icon, &a)) return 0;
  int x, y;
  Window unused;
  XTranslateCoordinates(dpy, icon, root, a.width / 2, a.height / 2, &x, &y, &unused);
  XTestFakeMotionEvent(dpy, -1, x - 1, y, 0);
  XTestFakeMotionEvent(dpy, -1, x, y, 20);
  XSync(dpy, False);
  sleep_ms(50);
  double t = now_ms();
  XTestFakeButtonEvent(dpy, 1, True, 0);
  XTestFakeButtonEvent(dpy, 1, False, 0);
  XSync(dpy, False);
  return t;
}

// --- the screen -------------------------------------------------------------------

struct box {
  int x, y, w, h;
};

// The box as the screen shows it: read from the root window, so whatever
// visual the program's windows use, this is what a person would see.
static XImage* grab(Window w, struct box b) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a)) return NULL;
  int x = b.x < 0 ? a.width + b.x : b.x, y = b.y < 0 ? a.height + b.y : b.y, rx, ry;
  Window unused;
  if (!XTranslateCoordinates(dpy, w, root, x, y, &rx, &ry, &unused)) return NULL;
  return XGetImage(dpy, root, rx, ry, b.w, b.h, AllPlanes, ZPixmap);
}

static unsigned long rgb(XImage* im, int x, int y) {
  return XGetPixel(im, x, y) & 0xffffff;  // a 24-bit TrueColor screen
}

static int all_of(Window w, struct box b, unsigned long color) {
  XImage* im = grab(w, b);
  if (!im) return 0;
  int ok = 1;
  for (int y = 0; y < b.h && ok; y++) {
    for (int x = 0; x < b.w && ok; x++) ok = rgb(im, x, y) == color;
  }
  XDestroyImage(im);
  return ok;
}

// Waits until every pixel of the box shows the colour while the window is
// viewable; the time it did, or -1.
static double wait_painted(Window w, struct box b, unsigned long color, double deadline) {
  while (now_ms() < deadline) {
    if (viewable(w) && all_of(w, b, color)) return now_ms();
    sleep_ms(5);
  }
  return -1;
}

static int same_image(XImage* a, XImage* b, struct box bx) {
  for (int y = 0; y < bx.h; y++) {
    for (int x = 0; x < bx.w; x++) {
      if (rgb(a, x, y) != rgb(b, x, y)) return 0;
    }
  }
  return 1;
}

static void write_ppm(const char* file, Window w) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a)) return;
  struct box whole = {0, 0, a.width, a.height};
  XImage* im = grab(w, whole);
  FILE* f = im ? fopen(file, "wb") : NULL;
  if (f) {
    fprintf(f, "P6\n%d %d\n255\n", a.width, a.height);
    for (int y = 0; y < a.height; y++) {
      for (int x = 0; x < a.width; x++) {
        unsigned long p = rgb(im, x, y);
        fputc((int)(p >> 16 & 255), f);
        fputc((int)(p >> 8 & 255), f);
        fputc((int)(p & 255), f);
      }
    }
    fclose(f);
  }
  if (im) XDestroyImage(im);
}

// The box's commonest colour once the whole window has been still for 2 s:
// a box that settles early could still be waiting for the page.
static void commonest(Window w, struct box b, const char* prefix) {
  XImage* im = grab(w, b);
  if (!im) return;
  unsigned long best = 0;
  int best_count = 0;
  for (int i = 0; i < b.w * b.h; i++) {
    unsigned long c = rgb(im, i % b.w, i / b.w);
    int count = 0;
    for (int j = 0; j < b.w * b.h; j++) count += rgb(im, j % b.w, j / b.w) == c;
    if (count > best_count) best = c, best_count = count;
  }
  printf("%scolor=%06lx\n%sshare=%.3f\n", prefix, best, prefix, (double)best_count / (b.w * b.h));
  XDestroyImage(im);
}

static void calibrate(Window w, struct box b, struct box frame, const char* file,
                      double deadline) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(dpy, w, &a)) return;
  struct box whole = {0, 0, a.width, a.height};
  XImage* last = NULL;
  double still_since = now_ms();
  while (now_ms() < deadline) {
    XImage* im = grab(w, whole);
    if (im && last && same_image(im, last, whole)) {
      if (now_ms() - still_since >= 2000) break;
    } else {
      still_since = now_ms();
    }
    if (last) XDestroyImage(last);
    last = im;
    sleep_ms(200);
  }
  if (last) XDestroyImage(last);
  commonest(w, b, "");
  if (frame.w) commonest(w, frame, "frame_");
  write_ppm(file, w);
}

// --- one run ------------------------------------------------------------------------

static void print_ms(const char* key, double t) {
  if (t < 0) {
    printf("%s=-\n", key);
  } else {
    printf("%s=%.0f\n", key, t);
  }
}

static void usage(void) {
  fprintf(stderr,
          "usage: startup_probe [--area X,Y,W,H --color RRGGBB | --calibrate FILE]\n"
          "  [--frame-area X,Y,W,H [--frame-color RRGGBB]]\n"
          "  [--pss-after MS] [--tray-icon CLASS --tray-wait S] [--timeout S]\n"
          "  [--shots PREFIX] -- CMD...\n");
  exit(2);
}

static int parse_box(const char* v, struct box* b) {
  return sscanf(v, "%d,%d,%d,%d", &b->x, &b->y, &b->w, &b->h) == 4 && b->w > 0 && b->h > 0 &&
         b->w <= 512 && b->h <= 512;
}

static int parse_color(const char* v, unsigned long* color) {
  char* end;
  *color = strtoul(v, &end, 16);
  return !*end && strlen(v) == 6;
}

int main(int argc, char** argv) {
  struct box b = {0, 0, 0, 0}, frame = {0, 0, 0, 0};
  unsigned long color = 0, frame_color = 0;
  int have_color = 0, have_frame_color = 0, tray_wait = -1;
  double pss_after = 3000, timeout = 60000;
  const char *shot = NULL, *tray_icon = NULL, *shots = NULL;
  int i = 1;
  for (; i < argc && strcmp(argv[i], "--") != 0; i++) {
    const char* v = i + 1 < argc ? argv[i + 1] : NULL;
    if (!v) usage();
    if (strcmp(argv[i], "--area") == 0) {
      if (!parse_box(v, &b)) usage();
    } else if (strcmp(argv[i], "--frame-area") == 0) {
      if (!parse_box(v, &frame)) usage();
    } else if (strcmp(argv[i], "--color") == 0) {
      if (!parse_color(v, &color)) usage();
      have_color = 1;
    } else if (strcmp(argv[i], "--frame-color") == 0) {
      if (!parse_color(v, &frame_color)) usage();
      have_frame_color = 1;
    } else if (strcmp(argv[i], "--calibrate") == 0) {
      shot = v;
    } else if (strcmp(argv[i], "--pss-after") == 0) {
      pss_after = atof(v);
    } else if (strcmp(argv[i], "--tray-icon") == 0) {
      tray_icon = v;
    } else if (strcmp(argv[i], "--tray-wait") == 0) {
      tray_wait = atoi(v);
    } else if (strcmp(argv[i], "--shots") == 0) {
      shots = v;
    } else if (strcmp(argv[i], "--timeout") == 0) {
      timeout = atof(v) * 1000;
    } else {
      usage();
    }
    i++;
  }
  if (i + 1 >= argc || b.w == 0 || (!have_color && !shot) || (have_frame_color && !frame.w)) usage();
  char** command = argv + i + 1;

  dpy = XOpenDisplay(NULL);
  if (!dpy) {
    fprintf(stderr, "startup_probe: cannot open the display\n");
    return 1;
  }
  root = DefaultRootWindow(dpy);
  XSetErrorHandler(ignore_error);
  XSetIOErrorHandler(display_lost);
  signal(SIGTERM, on_stop);
  signal(SIGINT, on_stop);
  // Top-level maps are reported from the root before the command runs, so
  // none can slip by between the exec and the first look.
  XSelectInput(dpy, root, SubstructureNotifyMask);
  XSync(dpy, False);
  prctl(PR_SET_CHILD_SUBREAPER, 1);

  double t0 = now_ms();
  printf("exec_at=%.1f\n", t0);
  fflush(stdout);
  child = fork();
  if (child == 0) {
    close(ConnectionNumber(dpy));
    execvp(command[0], command);
    _exit(127);
  }
  if (child < 0) return 1;

  // exec -> a new top-level window of the command's is viewable. A window
  // manager maps its frame after the client inside it, so the frame's map
  // is the moment the client becomes viewable.
  Window client = 0;
  double t_view = -1;
  while (!client && now_ms() < t0 + timeout) {
    while (XPending(dpy)) {
      XEvent e;
      XNextEvent(dpy, &e);
      if (e.type != MapNotify || e.xmap.override_redirect || client) continue;
      Window w = find_client(e.xmap.window, 0);
      if (w && viewable(w)) {
        client = w;
        t_view = now_ms() - t0;
      }
    }
    if (!client) sleep_ms(2);
    if (waitpid(child, NULL, WNOHANG) == child) break;
  }
  print_ms("viewable_ms", t_view);
  printf("window=0x%lx\n", client);
  fflush(stdout);
  if (!client) {
    end_tree();
    return 1;
  }

  if (shot) {
    calibrate(client, b, frame, shot, t0 + timeout);
    end_tree();
    return 0;
  }

  // The frame comes first if it comes before the page at all: a frame box
  // seen after the page box only delays the page's figure by a look.
  if (have_frame_color) {
    double t_frame = wait_painted(client, frame, frame_color, t0 + timeout);
    print_ms("frame_ms", t_frame < 0 ? -1 : t_frame - t0);
  }
  double t_paint = wait_painted(client, b, color, t0 + timeout);
  print_ms("painted_ms", t_paint < 0 ? -1 : t_paint - t0);
  fflush(stdout);
  if (t_paint < 0) {
    end_tree();
    return 1;
  }
  char file[4096];
  if (shots) {
    snprintf(file, sizeof file, "%s-painted.ppm", shots);
    write_ppm(file, client);
  }
  sleep_ms(t_paint + pss_after - now_ms());
  print_memory("", child);

  if (tray_icon && tray_wait >= 0) {
    double t_hidden = -1, t_shown = -1;
    double deadline = now_ms() + timeout;
    double clicked = 0;
    while (!clicked && now_ms() < deadline) {
      clicked = click_tray_icon(tray_icon);
      if (!clicked) sleep_ms(100);
    }
    while (clicked && now_ms() < deadline && viewable(client)) sleep_ms(5);
    if (clicked && !viewable(client)) t_hidden = now_ms();
    if (t_hidden >= 0) {
      sleep_ms(tray_wait * 1000.0);
      print_memory("hidden_", child);
      double t_click = click_tray_icon(tray_icon);
      if (t_click) {
        double t = wait_painted(client, b, color, t_click + timeout);
        if (t >= 0) t_shown = t - t_click;
        // A page brought back behind a picture of it must not blink: the
        // box is watched for 3 s more, and every look without the page's
        // colour counted.
        int looks = 0, off = 0;
        while (t >= 0 && now_ms() < t + 3000) {
          looks++;
          off += !all_of(client, b, color);
          sleep_ms(5);
        }
        printf("show_blinks=%d\nshow_looks=%d\n", off, looks);
        if (t >= 0 && shots) {
          snprintf(file, sizeof file, "%s-shown.ppm", shots);
          write_ppm(file, client);
        }
      }
    } else {
      printf("hidden_pss_kb=-\n");
    }
    print_ms("show_ms", t_shown);
  }
  end_tree();
  return 0;
}
