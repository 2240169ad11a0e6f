#include "app/AppState.h"

AppState& App() {
    static AppState state;
    return state;
}
