/*
 * xprobe: the X side of the benchmark. One small client that stamps
 * everything on CLOCK_MONOTONIC (the clock of the reader's trace build), so
 * launch, map, click and paint times line up with the reader's own trace.
 *
 *   xprobe launch [--log FILE] [--timeout-ms N] -- PROGRAM [ARGS...]
 *       Starts PROGRAM and waits until a top-level window whose _NET_WM_PID is
 *       the new process is viewable (mapped, ancestors included). Prints
 *       "pid=P window=0xW mapped_ms=T" and leaves the program running.
 *       Event driven (MapNotify on the root and on window-manager frames), so
 *       the probe itself takes no processor time while the program starts.
 *
 *   xprobe watch --pid P --region X,Y,W,H [--click X,Y] [--settle-ms N]
 *                [--timeout-ms N] [--poll-us N] [--save FILE.ppm] [--bg RRGGBB]
 *       Optionally clicks the left button at window coordinates X,Y (the
 *       stamp is taken when the release is sent), then grabs the region every
 *       poll interval until it has not changed for settle-ms. Prints the time
 *       of the first change and of the last change (the moment the final
 *       picture first appeared), the number of distinct pictures, and, with
 *       --bg, the share of the final region in that colour and the share of
 *       dark (text) pixels.
 *
 *   xprobe click --pid P --at X,Y
 *       One left click at window coordinates, nothing measured.
 *
 * Exit code 0 on success, 2 on a timeout or when the window is not found.
 */
#define _GNU_SOURCE
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static void sleep_us(long us) {
    struct timespec ts = {us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
    }
}

/* Windows come and go while we look at them; a BadWindow is no failure. */
static int ignore_x_errors(Display* d, XErrorEvent* e) {
    (void)d;
    (void)e;
    return 0;
}

static long window_pid(Display* d, Window w) {
    static Atom pid_atom = None;
    if (pid_atom == None) pid_atom = XInternAtom(d, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = NULL;
    long pid = -1;
    if (XGetWindowProperty(d, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (type == XA_CARDINAL && format == 32 && count == 1) pid = (long)*(unsigned long*)data;
        XFree(data);
    }
    return pid;
}

static int viewable(Display* d, Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a)) return 0;
    return a.map_state == IsViewable;
}

/* Top-level client windows sit on the root (no window manager) or one level
 * down inside a frame (a reparenting window manager). */
static Window find_pid_window(Display* d, long pid, int need_viewable) {
    Window root = DefaultRootWindow(d), parent, *children = NULL;
    unsigned int n = 0;
    Window found = None;
    if (!XQueryTree(d, root, &root, &parent, &children, &n)) return None;
    for (unsigned int i = 0; i < n && found == None; i++) {
        if (window_pid(d, children[i]) == pid && (!need_viewable || viewable(d, children[i]))) {
            found = children[i];
            break;
        }
        Window r2, p2, *inner = NULL;
        unsigned int m = 0;
        if (!XQueryTree(d, children[i], &r2, &p2, &inner, &m)) continue;
        for (unsigned int j = 0; j < m; j++) {
            if (window_pid(d, inner[j]) == pid && (!need_viewable || viewable(d, inner[j]))) {
                found = inner[j];
                break;
            }
        }
        if (inner) XFree(inner);
    }
    if (children) XFree(children);
    return found;
}

static int parse_pair(const char* s, int* a, int* b) { return sscanf(s, "%d,%d", a, b) == 2; }

static int parse_rect(const char* s, int* x, int* y, int* w, int* h) { return sscanf(s, "%d,%d,%d,%d", x, y, w, h) == 4; }

/* ------------------------------------------------------------------ launch */

static int cmd_launch(int argc, char** argv) {
    const char* log = "/dev/null";
    double timeout_ms = 30000;
    int i = 0;
    for (; i < argc; i++) {
        if (!strcmp(argv[i], "--log") && i + 1 < argc)
            log = argv[++i];
        else if (!strcmp(argv[i], "--timeout-ms") && i + 1 < argc)
            timeout_ms = atof(argv[++i]);
        else if (!strcmp(argv[i], "--")) {
            i++;
            break;
        } else
            break;
    }
    if (i >= argc) {
        fprintf(stderr, "xprobe launch: no program given\n");
        return 1;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "xprobe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(ignore_x_errors);
    Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);

    const double start = now_ms();
    pid_t pid = fork();
    if (pid < 0) {
        perror("fork");
        return 1;
    }
    if (pid == 0) {
        /* A session of its own: the benchmark's terminal signals are not its. */
        setsid();
        int fd = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
            close(fd);
        }
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) {
            dup2(devnull, 0);
            close(devnull);
        }
        close(ConnectionNumber(d));
        execvp(argv[i], argv + i);
        _exit(127);
    }

    Window found = None;
    int xfd = ConnectionNumber(d);
    for (;;) {
        while (XPending(d)) {
            XEvent e;
            XNextEvent(d, &e);
            if (e.type == CreateNotify && e.xcreatewindow.parent == root)
                XSelectInput(d, e.xcreatewindow.window, SubstructureNotifyMask); /* a frame, perhaps */
            if (e.type == MapNotify || e.type == ReparentNotify) {
                found = find_pid_window(d, pid, 1);
                if (found != None) break;
            }
        }
        if (found != None) break;
        const double left = timeout_ms - (now_ms() - start);
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            fprintf(stderr, "xprobe launch: the program exited before showing a window\n");
            printf("pid=%d window=0x0 mapped_ms=-1\n", (int)pid);
            return 2;
        }
        if (left <= 0) {
            printf("pid=%d window=0x0 mapped_ms=-1\n", (int)pid);
            return 2;
        }
        struct pollfd p = {xfd, POLLIN, 0};
        poll(&p, 1, left < 50 ? (int)left + 1 : 50);
    }
    const double mapped = now_ms() - start;
    printf("pid=%d window=0x%lx mapped_ms=%.1f\n", (int)pid, (unsigned long)found, mapped);
    fflush(stdout);
    XCloseDisplay(d);
    return 0;
}

/* ------------------------------------------------------------------ grabbing */

typedef struct {
    Display* d;
    Window w;
    int x, y, width, height;
    XImage* image;
    XShmSegmentInfo shm;
    int use_shm;
} Grabber;

static int grabber_open(Grabber* g, Display* d, Window w, int x, int y, int width, int height) {
    memset(g, 0, sizeof *g);
    g->d = d;
    g->w = w;
    g->x = x;
    g->y = y;
    g->width = width;
    g->height = height;
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, w, &a)) return 0;
    if (XShmQueryExtension(d)) {
        g->image = XShmCreateImage(d, a.visual, a.depth, ZPixmap, NULL, &g->shm, width, height);
        if (g->image) {
            g->shm.shmid = shmget(IPC_PRIVATE, (size_t)g->image->bytes_per_line * height, IPC_CREAT | 0600);
            g->shm.shmaddr = g->image->data = shmat(g->shm.shmid, NULL, 0);
            g->shm.readOnly = False;
            XShmAttach(d, &g->shm);
            XSync(d, False);
            shmctl(g->shm.shmid, IPC_RMID, NULL);
            g->use_shm = 1;
        }
    }
    return 1;
}

/* Grabs the region; returns the image (owned by the grabber) or NULL. */
static XImage* grabber_grab(Grabber* g) {
    if (g->use_shm) {
        if (!XShmGetImage(g->d, g->w, g->image, g->x, g->y, AllPlanes)) return NULL;
        return g->image;
    }
    if (g->image) XDestroyImage(g->image);
    g->image = XGetImage(g->d, g->w, g->x, g->y, (unsigned)g->width, (unsigned)g->height, AllPlanes, ZPixmap);
    return g->image;
}

static uint64_t image_hash(const XImage* im) {
    uint64_t h = 1469598103934665603ull;
    for (int row = 0; row < im->height; row++) {
        const unsigned char* p = (const unsigned char*)im->data + (size_t)row * im->bytes_per_line;
        const int n = im->width * (im->bits_per_pixel / 8);
        for (int i = 0; i < n; i++) {
            h ^= p[i];
            h *= 1099511628211ull;
        }
    }
    return h;
}

static void pixel_rgb(XImage* im, int x, int y, int* r, int* g, int* b) {
    unsigned long px = XGetPixel(im, x, y);
    *r = (int)((px & im->red_mask) >> __builtin_ctzl(im->red_mask));
    *g = (int)((px & im->green_mask) >> __builtin_ctzl(im->green_mask));
    *b = (int)((px & im->blue_mask) >> __builtin_ctzl(im->blue_mask));
}

static void save_ppm(XImage* im, const char* path) {
    FILE* f = fopen(path, "wb");
    if (!f) return;
    fprintf(f, "P6\n%d %d\n255\n", im->width, im->height);
    for (int y = 0; y < im->height; y++)
        for (int x = 0; x < im->width; x++) {
            int r, g, b;
            pixel_rgb(im, x, y, &r, &g, &b);
            fputc(r, f);
            fputc(g, f);
            fputc(b, f);
        }
    fclose(f);
}

static void click_at(Display* d, Window w, int x, int y, double* release_stamp) {
    int rx, ry;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(d, -1, rx, ry, CurrentTime);
    XSync(d, False);
    sleep_us(30000); /* let the pointer's arrival settle (hover) before the press */
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XSync(d, False);
    sleep_us(20000);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XFlush(d);
    if (release_stamp) *release_stamp = now_ms();
    XSync(d, False);
}

static Window window_of_pid(Display* d, long pid) {
    Window w = find_pid_window(d, pid, 1);
    if (w == None) fprintf(stderr, "xprobe: no viewable window of process %ld\n", pid);
    return w;
}

/* ------------------------------------------------------------------ watch */

static int cmd_watch(int argc, char** argv) {
    long pid = -1;
    int rx = 0, ry = 0, rw = 0, rh = 0, cx = -1, cy = -1, have_click = 0, have_bg = 0;
    double settle_ms = 1500, timeout_ms = 15000;
    long poll_us = 2000;
    const char* save = NULL;
    unsigned bg = 0;
    for (int i = 0; i < argc; i++) {
        if (!strcmp(argv[i], "--pid") && i + 1 < argc)
            pid = atol(argv[++i]);
        else if (!strcmp(argv[i], "--region") && i + 1 < argc) {
            if (!parse_rect(argv[++i], &rx, &ry, &rw, &rh)) return 1;
        } else if (!strcmp(argv[i], "--click") && i + 1 < argc) {
            if (!parse_pair(argv[++i], &cx, &cy)) return 1;
            have_click = 1;
        } else if (!strcmp(argv[i], "--settle-ms") && i + 1 < argc)
            settle_ms = atof(argv[++i]);
        else if (!strcmp(argv[i], "--timeout-ms") && i + 1 < argc)
            timeout_ms = atof(argv[++i]);
        else if (!strcmp(argv[i], "--poll-us") && i + 1 < argc)
            poll_us = atol(argv[++i]);
        else if (!strcmp(argv[i], "--save") && i + 1 < argc)
            save = argv[++i];
        else if (!strcmp(argv[i], "--bg") && i + 1 < argc) {
            bg = (unsigned)strtoul(argv[++i], NULL, 16);
            have_bg = 1;
        } else {
            fprintf(stderr, "xprobe watch: unknown argument %s\n", argv[i]);
            return 1;
        }
    }
    if (pid <= 0 || rw <= 0 || rh <= 0) {
        fprintf(stderr, "xprobe watch: --pid and --region are needed\n");
        return 1;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) return 1;
    XSetErrorHandler(ignore_x_errors);
    Window w = window_of_pid(d, pid);
    if (w == None) return 2;
    Grabber g;
    if (!grabber_open(&g, d, w, rx, ry, rw, rh)) return 2;
    XImage* im = grabber_grab(&g);
    if (!im) return 2;
    uint64_t last = image_hash(im);

    double t0 = now_ms();
    if (have_click) click_at(d, w, cx, cy, &t0);
    double first_change = -1, last_change = -1;
    int pictures = 1;
    for (;;) {
        const double t = now_ms();
        if (t - t0 > timeout_ms) break;
        const double quiet_since = last_change < 0 ? t0 : t0 + last_change;
        if (t - quiet_since > settle_ms) break;
        im = grabber_grab(&g);
        if (!im) break;
        const uint64_t h = image_hash(im);
        if (h != last) {
            last = h;
            pictures++;
            last_change = now_ms() - t0;
            if (first_change < 0) first_change = last_change;
        }
        sleep_us(poll_us);
    }
    const int settled = (now_ms() - t0) <= timeout_ms;
    im = grabber_grab(&g);
    printf("first_change_ms=%.1f final_ms=%.1f pictures=%d settled=%d start_stamp_ms=%.3f", first_change, last_change,
           pictures, settled, t0);
    if (im && have_bg) {
        long in_bg = 0, dark = 0, total = (long)im->width * im->height;
        const int br = (bg >> 16) & 255, bgc = (bg >> 8) & 255, bb = bg & 255;
        for (int y = 0; y < im->height; y++)
            for (int x = 0; x < im->width; x++) {
                int r, gg, b;
                pixel_rgb(im, x, y, &r, &gg, &b);
                if (abs(r - br) <= 2 && abs(gg - bgc) <= 2 && abs(b - bb) <= 2) in_bg++;
                if (r + gg + b < 3 * 110) dark++;
            }
        printf(" bg_share=%.3f dark_share=%.3f", (double)in_bg / total, (double)dark / total);
    }
    printf("\n");
    if (im && save) save_ppm(im, save);
    if (g.use_shm) XShmDetach(d, &g.shm);
    XCloseDisplay(d);
    return settled ? 0 : 2;
}

static int cmd_click(int argc, char** argv) {
    long pid = -1;
    int x = -1, y = -1;
    for (int i = 0; i < argc; i++) {
        if (!strcmp(argv[i], "--pid") && i + 1 < argc)
            pid = atol(argv[++i]);
        else if (!strcmp(argv[i], "--at") && i + 1 < argc) {
            if (!parse_pair(argv[++i], &x, &y)) return 1;
        }
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) return 1;
    XSetErrorHandler(ignore_x_errors);
    Window w = window_of_pid(d, pid);
    if (w == None) return 2;
    double t = 0;
    click_at(d, w, x, y, &t);
    printf("click_stamp_ms=%.3f\n", t);
    XCloseDisplay(d);
    return 0;
}

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    if (argc < 2) {
        fprintf(stderr, "usage: xprobe launch|watch|click ...\n");
        return 1;
    }
    if (!strcmp(argv[1], "launch")) return cmd_launch(argc - 2, argv + 2);
    if (!strcmp(argv[1], "watch")) return cmd_watch(argc - 2, argv + 2);
    if (!strcmp(argv[1], "click")) return cmd_click(argc - 2, argv + 2);
    fprintf(stderr, "xprobe: unknown command %s\n", argv[1]);
    return 1;
}
