#pragma once

int Right();
