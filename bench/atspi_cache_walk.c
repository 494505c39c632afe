/* Reference walk for the end-to-end benchmark: libatspi reading the same
 * attributes as `nuvra-click observe`, breadth first from the application's
 * active window, with libatspi's client-side cache switched on for the whole
 * application (one Cache.GetItems call, then only what the cache lacks).
 * With --no-cache the same walk asks for everything one request at a time.
 *
 *   atspi_cache_walk [--no-cache] APP_NAME MAX_NODES MAX_DEPTH
 *
 * Prints "elements=N seconds=S": S runs from looking the application up on
 * the desktop to the end of the walk (library start-up excluded).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <atspi/atspi.h>

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* The roles whose value the tool reads from the Text interface, from the
 * Value interface, and from the checked state. */
static int isTextRole(AtspiRole r) {
    switch (r) {
        case ATSPI_ROLE_TEXT: case ATSPI_ROLE_ENTRY: case ATSPI_ROLE_EDITBAR:
        /* running text: paragraphs, headings, cells, links and the like */
        case ATSPI_ROLE_PARAGRAPH: case ATSPI_ROLE_HEADING: case ATSPI_ROLE_SECTION:
        case ATSPI_ROLE_CAPTION: case ATSPI_ROLE_BLOCK_QUOTE: case ATSPI_ROLE_LIST_ITEM:
        case ATSPI_ROLE_TABLE_CELL: case ATSPI_ROLE_LINK: case ATSPI_ROLE_DOCUMENT_TEXT:
        case ATSPI_ROLE_COLUMN_HEADER: case ATSPI_ROLE_ROW_HEADER: case ATSPI_ROLE_DEFINITION:
        case ATSPI_ROLE_DESCRIPTION_TERM: case ATSPI_ROLE_DESCRIPTION_VALUE:
        case ATSPI_ROLE_FOOTNOTE: case ATSPI_ROLE_COMMENT:
            return 1;
        default:
            return 0;
    }
}
static int isRangeRole(AtspiRole r) {
    return r == ATSPI_ROLE_SCROLL_BAR || r == ATSPI_ROLE_SLIDER || r == ATSPI_ROLE_SPIN_BUTTON ||
           r == ATSPI_ROLE_PROGRESS_BAR || r == ATSPI_ROLE_LEVEL_BAR || r == ATSPI_ROLE_DIAL;
}

/* What the tool reads of one element, in its order: role, name, the
 * description when there is no name, the value, the states, the extents;
 * the children are read by the caller. A running sum keeps the compiler
 * from dropping any read. */
static unsigned long readElement(AtspiAccessible* e) {
    unsigned long sum = 0;
    AtspiRole role = atspi_accessible_get_role(e, NULL);
    sum += (unsigned long)role;
    gchar* name = atspi_accessible_get_name(e, NULL);
    if (name == NULL || *name == '\0') {
        gchar* description = atspi_accessible_get_description(e, NULL);
        if (description != NULL) sum += strlen(description);
        g_free(description);
    }
    if (name != NULL) sum += strlen(name);
    g_free(name);
    if (isTextRole(role)) {
        AtspiText* text = atspi_accessible_get_text_iface(e);
        if (text != NULL) {
            gchar* contents = atspi_text_get_text(text, 0, -1, NULL);
            if (contents != NULL) sum += strlen(contents);
            g_free(contents);
            g_object_unref(text);
        }
    } else if (isRangeRole(role)) {
        AtspiValue* value = atspi_accessible_get_value_iface(e);
        if (value != NULL) {
            sum += (unsigned long)atspi_value_get_current_value(value, NULL);
            g_object_unref(value);
        }
    }
    AtspiStateSet* states = atspi_accessible_get_state_set(e);
    if (states != NULL) {
        sum += (unsigned long)atspi_state_set_contains(states, ATSPI_STATE_ENABLED);
        sum += (unsigned long)atspi_state_set_contains(states, ATSPI_STATE_FOCUSED);
        sum += (unsigned long)atspi_state_set_contains(states, ATSPI_STATE_CHECKED);
        g_object_unref(states);
    }
    AtspiComponent* component = atspi_accessible_get_component_iface(e);
    if (component != NULL) {
        AtspiRect* r = atspi_component_get_extents(component, ATSPI_COORD_TYPE_SCREEN, NULL);
        if (r != NULL) sum += (unsigned long)(r->x + r->y + r->width + r->height);
        g_free(r);
        g_object_unref(component);
    }
    return sum;
}

static AtspiAccessible* findApplication(const char* appName) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    gint count = atspi_accessible_get_child_count(desktop, NULL);
    AtspiAccessible* found = NULL;
    for (gint i = 0; i < count && found == NULL; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, NULL);
        if (app == NULL) continue;
        gchar* name = atspi_accessible_get_name(app, NULL);
        if (name != NULL && strcmp(name, appName) == 0) found = g_object_ref(app);
        g_free(name);
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

static AtspiAccessible* activeWindow(AtspiAccessible* app) {
    gint count = atspi_accessible_get_child_count(app, NULL);
    AtspiAccessible* first = NULL;
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* w = atspi_accessible_get_child_at_index(app, i, NULL);
        if (w == NULL) continue;
        AtspiStateSet* states = atspi_accessible_get_state_set(w);
        int active = states != NULL && atspi_state_set_contains(states, ATSPI_STATE_ACTIVE);
        if (states != NULL) g_object_unref(states);
        if (active) {
            if (first != NULL) g_object_unref(first);
            return w;
        }
        if (first == NULL) first = w;
        else g_object_unref(w);
    }
    return first;
}

int main(int argc, char** argv) {
    int cache = 1;
    if (argc > 1 && strcmp(argv[1], "--no-cache") == 0) {
        cache = 0;
        ++argv;
        --argc;
    }
    if (argc != 4) {
        fprintf(stderr, "usage: atspi_cache_walk [--no-cache] APP_NAME MAX_NODES MAX_DEPTH\n");
        return 2;
    }
    long maxNodes = atol(argv[2]);
    long maxDepth = atol(argv[3]);
    if (atspi_init() < 0) {
        fprintf(stderr, "atspi_cache_walk: no accessibility bus\n");
        return 2;
    }
    /* A second per call at most, and no start-up grace: as the tool does. */
    atspi_set_timeout(1000, 1000);

    double started = now();
    AtspiAccessible* app = findApplication(argv[1]);
    if (app == NULL) {
        fprintf(stderr, "atspi_cache_walk: no application named %s\n", argv[1]);
        return 5;
    }
    atspi_accessible_set_cache_mask(app, cache ? ATSPI_CACHE_ALL : ATSPI_CACHE_NONE);
    AtspiAccessible* window = activeWindow(app);
    if (window == NULL) return 5;

    /* Breadth first, as the tool numbers elements. */
    GPtrArray* queue = g_ptr_array_new_with_free_func(g_object_unref);
    GArray* depths = g_array_new(FALSE, FALSE, sizeof(long));
    GHashTable* seen = g_hash_table_new(g_direct_hash, g_direct_equal);
    g_ptr_array_add(queue, window);
    long zero = 0;
    g_array_append_val(depths, zero);
    long elements = 0;
    unsigned long sum = 0;
    for (guint head = 0; head < queue->len && elements < maxNodes; ++head) {
        AtspiAccessible* e = g_ptr_array_index(queue, head);
        long depth = g_array_index(depths, long, head);
        if (!g_hash_table_add(seen, e)) continue;
        sum += readElement(e);
        ++elements;
        gint count = atspi_accessible_get_child_count(e, NULL);
        if (depth >= maxDepth) continue;
        for (gint i = 0; i < count; ++i) {
            AtspiAccessible* child = atspi_accessible_get_child_at_index(e, i, NULL);
            if (child == NULL) continue;
            g_ptr_array_add(queue, child);
            long d = depth + 1;
            g_array_append_val(depths, d);
        }
    }
    double seconds = now() - started;
    printf("elements=%ld seconds=%.6f check=%lu\n", elements, seconds, sum % 1000);
    g_hash_table_destroy(seen);
    g_array_free(depths, TRUE);
    g_ptr_array_free(queue, TRUE);
    g_object_unref(app);
    return 0;
}
