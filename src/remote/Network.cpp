#include "remote/Network.h"

#include <curl/curl.h>
#include <libssh2.h>

bool initNetwork() { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK && libssh2_init(0) == 0; }
